#include "webbrowser.h"

#include "transfer/sameaddress.h"

#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariant>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <utility>

namespace {

TryAgain TroubleOf(const QWebEngineLoadingInfo &info)
{
    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus)
        return TryAgain::Never;
    const int code = info.errorCode();
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain) {
        if (code == 429 || code == 503)
            return TryAgain::HostLater;
        return code >= 500 ? TryAgain::Later : TryAgain::Never;
    }
    // The engine's own network errors: a connection refused, failed, closed, reset or timed
    // out, an empty answer, a body cut short. The same request may get through later.
    switch (code) {
    case -7:   // timed out
    case -100: // connection closed
    case -101: // connection reset
    case -102: // connection refused
    case -103: // connection aborted
    case -104: // connection failed
    case -118: // connection timed out
    case -324: // empty response
    case -354: // content length mismatch
    case -355: // incomplete chunked encoding
        return TryAgain::Later;
    default:
        return TryAgain::Never;
    }
}

const QString kOuterHtml = QStringLiteral(
    "(document && document.documentElement) ? document.documentElement.outerHTML : null");

} // namespace

// --- BackgroundPage ---------------------------------------------------------------------

BackgroundPage::BackgroundPage(WebBrowser &browser, QWebEnginePage *page, const QUrl &address)
    : m_browser(&browser)
    , m_page(page)
    , m_requested(address)
{
    connect(m_page, &QWebEnginePage::loadStarted, this, &BackgroundPage::page_loadStarted);
    connect(m_page, &QWebEnginePage::urlChanged, this, &BackgroundPage::page_urlChanged);
    connect(m_page, &QWebEnginePage::loadFinished, this, &BackgroundPage::page_loadFinished);
    connect(m_page, &QWebEnginePage::loadingChanged, this, &BackgroundPage::page_loadingChanged);
    m_page->load(address);
}

BackgroundPage::~BackgroundPage()
{
    if (m_shown || !m_page)
        return;
    if (m_browser)
        m_browser->Recycle(m_page);
    else
        delete m_page;
}

QUrl BackgroundPage::Location() const
{
    return m_page ? m_page->url() : m_requested;
}

void BackgroundPage::page_loadStarted()
{
    m_loading = true;
}

void BackgroundPage::page_urlChanged()
{
    // A load's new document takes over its address only once the answer has begun to arrive.
    if (m_loading)
        Answer();
}

void BackgroundPage::Answer()
{
    if (std::exchange(m_answered, true))
        return;
    emit Answered();
}

void BackgroundPage::page_loadFinished(bool ok)
{
    // A page kept for reuse may still report the end of the load it had before this one.
    if (!std::exchange(m_loading, false))
        return;
    Answer();
    // A load failing elsewhere was cut short by the next (a script navigating); later loads
    // belong to whoever shows the page.
    if (m_ended || (!ok && !SameAddress(m_page->url(), m_requested)))
        return;
    m_ended = true;
    m_ok = ok;
    m_trouble = TryAgain::Never;
    QPointer<BackgroundPage> self(this);
    m_page->runJavaScript(kOuterHtml, [self](const QVariant &result) {
        if (!self)
            return;
        self->m_markupRead = true;
        if (result.typeId() == QMetaType::QString)
            self->m_markup = result.toString();
        emit self->Ready();
    });
}

void BackgroundPage::page_loadingChanged(const QWebEngineLoadingInfo &info)
{
    // The reason comes just after the end of the load it belongs to.
    if (m_ended && !m_ok && !m_shown && info.status() == QWebEngineLoadingInfo::LoadFailedStatus
        && SameAddress(info.url(), m_requested))
        m_trouble = TroubleOf(info);
}

// --- WebBrowser -------------------------------------------------------------------------

WebBrowser::WebBrowser(QWidget *parent) : QWidget(parent), m_view(new QWebEngineView(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);
    connect(m_view, &QWebEngineView::loadStarted, this, &WebBrowser::view_loadStarted);
    connect(m_view, &QWebEngineView::loadFinished, this, &WebBrowser::view_loadFinished);
    connect(m_view, &QWebEngineView::urlChanged, this, &WebBrowser::view_urlChanged);
    WatchTrouble();
}

WebBrowser::~WebBrowser() = default;

void WebBrowser::Navigate(const QString &address)
{
    // The end of a load still under way may come once this one has begun, and then the
    // engine tells nothing of this one's end: a page of its own loads it instead.
    if (m_loading) {
        Show(LoadOutOfSight(address));
        return;
    }
    m_shown.reset();
    // Addresses come as typed; tolerant parsing matches what a user expects of a
    // browser's address line.
    m_requested = QUrl(address, QUrl::TolerantMode);
    m_navigating = true;
    m_view->load(m_requested);
}

QString WebBrowser::LocationURL() const
{
    return m_view->url().toString();
}

void WebBrowser::RequestOuterHtml(OuterHtmlCallback callback)
{
    if (m_preread) {
        // Answered later, as the page itself would answer.
        QTimer::singleShot(
            0, this,
            [callback = std::move(callback), markup = *std::exchange(m_preread, std::nullopt)] {
                if (callback)
                    callback(!markup.isNull(), markup);
            });
        return;
    }
    QPointer<WebBrowser> self(this);
    m_view->page()->runJavaScript(kOuterHtml,
                                  [self, callback = std::move(callback)](const QVariant &result) {
                                      if (!callback)
                                          return;
                                      if (!self || result.typeId() != QMetaType::QString) {
                                          callback(false, QString());
                                          return;
                                      }
                                      callback(true, result.toString());
                                  });
}

std::unique_ptr<BackgroundPage> WebBrowser::LoadOutOfSight(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    m_spares.removeAll(nullptr);
    QWebEnginePage *page = nullptr;
    for (qsizetype i = 0; !page && i < m_spares.size(); ++i) {
        // Not one whose document would only move to another fragment of itself, unloaded.
        const QUrl shown = m_spares.at(i)->url();
        if (!url.hasFragment()
            || shown.adjusted(QUrl::RemoveFragment) != url.adjusted(QUrl::RemoveFragment))
            page = m_spares.takeAt(i);
    }
    if (!page)
        page = new QWebEnginePage(m_view->page()->profile(), this);
    // Scripts and timers run as they would in the view the page is shown in later.
    page->setVisible(m_view->isVisible());
    m_outOfSight.removeAll(nullptr);
    std::unique_ptr<BackgroundPage> background(new BackgroundPage(*this, page, url));
    m_outOfSight.append(background.get());
    return background;
}

void WebBrowser::SetPagesOutOfSight(int limit)
{
    m_limit = limit;
}

void WebBrowser::Recycle(QWebEnginePage *page)
{
    m_spares.removeAll(nullptr);
    // Only an idle page: one whose load is cut short reports that later, as if of the next.
    if (!page || page->isLoading() || PagesOutOfSight() + m_spares.size() >= m_limit) {
        delete page;
        return;
    }
    page->setParent(this);
    m_spares.append(page);
    QTimer::singleShot(kSpareMs, page, [this, page] {
        if (m_spares.removeAll(page) > 0)
            delete page;
    });
}

int WebBrowser::PagesOutOfSight() const
{
    return static_cast<int>(
        std::count_if(m_outOfSight.cbegin(), m_outOfSight.cend(),
                      [](const QPointer<BackgroundPage> &page) { return !page.isNull(); }));
}

void WebBrowser::Show(std::unique_ptr<BackgroundPage> background)
{
    m_outOfSight.removeAll(background.get());
    m_shown.reset();
    m_preread.reset();
    QWebEnginePage *page = background->m_page;
    background->m_shown = true;
    const QPointer<QWebEnginePage> old = m_view->page();
    m_requested = background->m_requested;
    m_navigating = true;
    m_loading = background->m_loading;
    // The view announces the new page's address; that is no navigation of its own.
    m_swapping = true;
    m_view->setPage(page);
    m_swapping = false;
    WatchTrouble();
    if (old && old != page)
        Recycle(old);

    if (!background->m_ended)
        return; // the view reports the end of its load like any other
    m_shown = std::move(background);
    connect(m_shown.get(), &BackgroundPage::Ready, this, &WebBrowser::shown_Ready);
    if (m_shown->MarkupIn())
        QTimer::singleShot(0, m_shown.get(), [this] { shown_Ready(); });
}

void WebBrowser::shown_Ready()
{
    if (!m_shown)
        return;
    // Deleted later: this may run inside the page's own signal.
    BackgroundPage *shown = m_shown.release();
    shown->deleteLater();
    m_preread = shown->m_markup;
    Finished(shown->m_ok, shown->m_trouble);
    m_preread.reset();
}

void WebBrowser::Stop()
{
    m_view->stop();
}

void WebBrowser::view_loadStarted()
{
    m_loading = true;
}

void WebBrowser::view_urlChanged(const QUrl &url)
{
    // A same-document navigation (an anchor, a history entry pushed by a script)
    // changes the address without a load; it still finishes a navigation. But until the
    // navigation Navigate asked for has finished, the page being left may still move its
    // own address by script: then only a move to the requested address finishes it.
    if (m_swapping || m_loading || (m_navigating && !SameAddress(url, m_requested)))
        return;
    view_loadFinished(true);
}

void WebBrowser::WatchTrouble()
{
    disconnect(m_troubleWatch);
    m_troubleWatch = connect(m_view->page(), &QWebEnginePage::loadingChanged, this,
                             [this](const QWebEngineLoadingInfo &info) {
                                 if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus)
                                     m_lastTrouble = TroubleOf(info);
                             });
}

void WebBrowser::view_loadFinished(bool ok)
{
    // A failure's reason follows at once, from the page.
    Finished(ok, TryAgain::Never);
}

void WebBrowser::Finished(bool ok, TryAgain trouble)
{
    m_loading = false;
    m_lastLoadOk = ok;
    m_lastTrouble = trouble;
    // A failure elsewhere is the page being left (its load cut short); the requested load
    // ends on success, wherever redirects took it, or failing at its own address.
    if (ok || SameAddress(m_view->url(), m_requested))
        m_navigating = false;
    emit DownloadComplete();
    if (ok)
        emit DocumentComplete(LocationURL());
}
