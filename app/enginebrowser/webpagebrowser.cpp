#include "webpagebrowser.h"

#include "browseridentity.h"

#include <QDateTime>
#include <QNetworkCookie>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

namespace {

QByteArray CookieKey(const QNetworkCookie &cookie)
{
    return cookie.domain().toLower().toUtf8() + '\t' + cookie.path().toUtf8() + '\t'
        + cookie.name();
}

// The address asked for, and where redirects have taken the page since.
bool WouldCarry(const QNetworkCookie &cookie, const BackgroundPage &page)
{
    return WouldCarry(cookie, page.Requested()) || WouldCarry(cookie, page.Location());
}

} // namespace

WebPageBrowser::WebPageBrowser(WebBrowser &browser) : m_browser(browser)
{
    m_browser.SetPagesOutOfSight(kPagesAhead);
    m_stagger.setSingleShot(true);
    QObject::connect(&m_stagger, &QTimer::timeout, &m_context, [this] { StartWaiting(); });
    // The page shown last may be the one whose answer the next page ahead waits for.
    QObject::connect(&m_browser, &WebBrowser::DownloadComplete, &m_context,
                     [this] { Browser_Answered(); });
    QObject::connect(m_browser.View(), &QWebEngineView::urlChanged, &m_context,
                     [this] { Browser_Answered(); });
    QWebEngineCookieStore *store = m_browser.View()->page()->profile()->cookieStore();
    QObject::connect(store, &QWebEngineCookieStore::cookieAdded, &m_context,
                     [this](const QNetworkCookie &cookie) { CookieChanged(cookie, false); });
    QObject::connect(store, &QWebEngineCookieStore::cookieRemoved, &m_context,
                     [this](const QNetworkCookie &cookie) { CookieChanged(cookie, true); });
}

WebPageBrowser::~WebPageBrowser() = default;

void WebPageBrowser::Navigate(const QString &address)
{
    m_browser.Navigate(address);
}

QString WebPageBrowser::LocationURL() const
{
    return m_browser.LocationURL();
}

void WebPageBrowser::RequestMarkup(std::function<void(const QString &markup)> deliver)
{
    m_browser.RequestOuterHtml([deliver = std::move(deliver)](bool ok, const QString &markup) {
        if (ok)
            deliver(markup);
    });
}

PagesOutOfSight::AheadId WebPageBrowser::LoadAhead(const QString &address)
{
    const AheadId id = ++m_lastId;
    OutOfSight ahead;
    ahead.address = address;
    m_ahead.emplace(id, std::move(ahead));
    StartWaiting();
    return id;
}

void WebPageBrowser::StartWaiting()
{
    // A server that answers at once sees the pages asked for in order; one that holds its
    // answers back still gets the next request in good time.
    for (auto &[id, ahead] : m_ahead) {
        if (ahead.page)
            continue;
        const qint64 waited = m_lastAnswered ? kStaggerMs : m_sinceStart.elapsed();
        if (waited < kStaggerMs) {
            m_stagger.start(static_cast<int>(kStaggerMs - waited));
            return;
        }
        ahead.page = m_browser.LoadOutOfSight(ahead.address);
        ahead.started.start();
        m_lastStarted = id;
        m_lastAnswered = false;
        m_lastShown = false;
        m_sinceStart.start();
        QObject::connect(ahead.page.get(), &BackgroundPage::Answered, &m_context, [this, id = id] {
            if (id == m_lastStarted)
                m_lastAnswered = true;
            StartWaiting();
        });
    }
}

void WebPageBrowser::Browser_Answered()
{
    if (m_lastShown && !m_lastAnswered) {
        m_lastAnswered = true;
        StartWaiting();
    }
}

qint64 WebPageBrowser::AheadLoadingMs(AheadId id) const
{
    const auto at = m_ahead.find(id);
    return at == m_ahead.end() || !at->second.page ? -1 : at->second.started.elapsed();
}

PagesOutOfSight::Shown WebPageBrowser::ShowAhead(AheadId id)
{
    const auto at = m_ahead.find(id);
    if (at == m_ahead.end() || !at->second.page) {
        CloseAhead(id);
        return Shown::Stale;
    }
    if (!Fresh(at->second)) {
        CloseAhead(id);
        return Shown::Stale;
    }
    std::unique_ptr<BackgroundPage> page = std::move(at->second.page);
    m_ahead.erase(at);
    const bool loaded = page->LoadEnded();
    m_browser.Show(std::move(page));
    // Only after the view has announced the page it now shows.
    m_lastShown = m_lastShown || id == m_lastStarted;
    return loaded ? Shown::Loaded : Shown::Loading;
}

bool WebPageBrowser::Fresh(const OutOfSight &ahead) const
{
    bool same = !ahead.changed;
    for (auto it = ahead.before.cbegin(); same && it != ahead.before.cend(); ++it)
        same = it.value() == Known(it.key());
    return same;
}

std::optional<PagesOutOfSight::AheadDocument> WebPageBrowser::LoadedAhead(AheadId id) const
{
    const auto at = m_ahead.find(id);
    if (at == m_ahead.end() || !at->second.page || !at->second.page->MarkupIn()
        || !at->second.page->LoadOk() || !Fresh(at->second))
        return std::nullopt;
    return AheadDocument{at->second.page->Location().toString(), at->second.page->Markup()};
}

void WebPageBrowser::CloseAhead(AheadId id)
{
    m_ahead.erase(id);
    // A request cut short keeps none after it waiting.
    if (id == m_lastStarted && !m_lastAnswered) {
        m_lastAnswered = true;
        StartWaiting();
    }
}

void WebPageBrowser::StopLoading()
{
    m_browser.Stop();
}

TryAgain WebPageBrowser::LastTrouble() const
{
    return m_browser.LastLoadTrouble();
}

void WebPageBrowser::CookieHandedToStore(const QNetworkCookie &cookie)
{
    const bool expired = !cookie.isSessionCookie()
        && cookie.expirationDate() <= QDateTime::currentDateTimeUtc();
    if ((expired ? CookieValue() : CookieValue(cookie.value())) == Known(CookieKey(cookie)))
        return;
    ++m_cookieChanges;
    for (auto &[id, ahead] : m_ahead)
        if (ahead.page && WouldCarry(cookie, *ahead.page))
            ahead.changed = true;
}

void WebPageBrowser::CookieChanged(const QNetworkCookie &cookie, bool removed)
{
    // A change that comes back to the value a page ahead started with (the store replaces a
    // cookie by removing and adding it) is no change for that page.
    const QByteArray key = CookieKey(cookie);
    const CookieValue known = Known(key);
    for (auto &[id, ahead] : m_ahead) {
        if (!ahead.page || ahead.changed || ahead.before.contains(key)
            || !WouldCarry(cookie, *ahead.page))
            continue;
        if (removed && !known)
            ahead.changed = true; // it had a value the store never reported
        else
            ahead.before.insert(key, known);
    }
    if (removed || known != CookieValue(cookie.value()))
        ++m_cookieChanges;
    if (removed)
        m_cookies.remove(key);
    else
        m_cookies.insert(key, cookie.value());
}

WebPageBrowser::CookieValue WebPageBrowser::Known(const QByteArray &key) const
{
    const auto at = m_cookies.constFind(key);
    return at == m_cookies.cend() ? CookieValue() : CookieValue(at.value());
}
