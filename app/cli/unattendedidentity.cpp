#include "unattendedidentity.h"

#include "browseridentity.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QSet>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInfo>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A cookie of a host nobody reaches, given to the store after the others: once it is in, the
// store has handled every cookie given before it, taken or refused.
const QByteArray kMarkName = "linkhauler-run-settled";
const QUrl kMarkOrigin(u"http://settled.linkhauler-run.invalid/"_s);

QByteArray Key(const QNetworkCookie &cookie)
{
    return cookie.domain().toUtf8() + '\t' + cookie.path().toUtf8() + '\t' + cookie.name();
}

// Whom a cookie of the file belongs to: its domain and name, whether the cookie is host-only
// or not.
QByteArray Owner(const QByteArray &domain, const QByteArray &name)
{
    return (domain.startsWith('.') ? domain.mid(1) : domain) + '\t' + name;
}

bool IsAddress(const QByteArray &host)
{
    const QString bare = QString::fromLatin1(host).remove(u'[').remove(u']');
    return !QHostAddress(bare).isNull();
}

} // namespace

HeaderInterceptor::HeaderInterceptor(const QList<QByteArray> &headers)
{
    for (const QByteArray &header : headers) {
        const qsizetype colon = header.indexOf(':');
        m_headers.append({header.left(colon).trimmed(), header.mid(colon + 1).trimmed()});
    }
}

void HeaderInterceptor::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    const bool page = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame;
    const bool ownHost = info.requestUrl().host() == info.firstPartyUrl().host();
    if (!page && !ownHost)
        return;
    for (const auto &[name, value] : m_headers)
        info.setHttpHeader(name, value);
}

RunIdentity::RunIdentity(QWebEngineProfile &profile, const RunSettings &settings)
    : m_profile(profile)
    , m_store(profile.cookieStore())
    , m_settings(settings)
    , m_interceptor(settings.headers)
{
    if (!settings.userAgent.isEmpty())
        profile.setHttpUserAgent(settings.userAgent);
    if (!settings.headers.isEmpty())
        profile.setUrlRequestInterceptor(&m_interceptor);
    connect(m_store, &QWebEngineCookieStore::cookieAdded, this,
            [this](const QNetworkCookie &cookie) {
                if (cookie.name() == kMarkName) {
                    m_lastMarkSeen = std::max(m_lastMarkSeen, cookie.value().toInt());
                    return;
                }
                m_cookies.insert(Key(cookie), cookie);
            });
    connect(m_store, &QWebEngineCookieStore::cookieRemoved, this,
            [this](const QNetworkCookie &cookie) { m_cookies.remove(Key(cookie)); });
}

RunIdentity::~RunIdentity()
{
    if (!m_settings.headers.isEmpty())
        m_profile.setUrlRequestInterceptor(nullptr);
}

bool RunIdentity::Settle(const std::function<bool()> &stopped)
{
    const int mark = ++m_settled;
    QNetworkCookie cookie(kMarkName, QByteArray::number(mark));
    m_store->setCookie(cookie, kMarkOrigin);
    // The store holds what it is given until the profile's network starts, which the first
    // page of the profile does: an empty one, before the run's first.
    std::unique_ptr<QWebEnginePage> starter;
    if (mark == 1) {
        starter = std::make_unique<QWebEnginePage>(&m_profile);
        starter->setUrl(QUrl(u"about:blank"_s));
    }
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    QElapsedTimer waited;
    waited.start();
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (m_lastMarkSeen >= mark || (stopped && stopped()) || waited.elapsed() > kStoreWaitMs)
            loop.quit();
    });
    poll.start();
    loop.exec();
    m_store->deleteCookie(cookie, kMarkOrigin);
    return m_lastMarkSeen >= mark;
}

std::optional<QString> RunIdentity::LoadCookies(const std::function<bool()> &stopped)
{
    if (m_settings.cookies.isEmpty())
        return std::nullopt;
    for (const cookiesfile::Cookie &given : m_settings.cookies) {
        QNetworkCookie cookie(given.name, given.value);
        cookie.setPath(QString::fromUtf8(given.path));
        cookie.setSecure(given.secure);
        cookie.setHttpOnly(given.httpOnly);
        if (given.expires > 0)
            cookie.setExpirationDate(QDateTime::fromSecsSinceEpoch(given.expires));
        // Without a domain the store keeps the cookie for the origin's host alone; an
        // address has no subdomains.
        if (given.subdomains && !IsAddress(given.domain))
            cookie.setDomain(u'.' + QString::fromUtf8(given.domain));
        const QUrl origin(QString::fromLatin1(given.secure ? "https://" : "http://")
                          + QString::fromUtf8(given.domain + given.path));
        m_store->setCookie(cookie, origin);
    }
    const bool settled = Settle(stopped);
    if (stopped && stopped())
        return std::nullopt;
    if (!settled)
        return u"The browser did not take the cookies of the --cookies file \"%1\" within %2 "
               u"seconds."_s.arg(m_settings.cookiesFile, QString::number(kStoreWaitMs / 1000));
    QSet<QByteArray> taken;
    for (const QNetworkCookie &cookie : std::as_const(m_cookies))
        taken.insert(Owner(cookie.domain().toUtf8(), cookie.name()));
    for (const cookiesfile::Cookie &given : m_settings.cookies)
        if (!taken.contains(Owner(given.domain, given.name)))
            return u"The browser refused the cookie \"%1\" on line %2 of the --cookies file "
                   u"\"%3\"."_s.arg(QString::fromUtf8(given.name), QString::number(given.line),
                                    m_settings.cookiesFile);
    return std::nullopt;
}

std::optional<QString> RunIdentity::SaveCookies(const std::function<bool()> &stopped)
{
    if (m_settings.saveCookiesFile.isEmpty())
        return std::nullopt;
    // The cookies of the last answers may still be on their way into the store; a stop
    // signal does not wait for them.
    Settle(stopped);
    const QDateTime now = QDateTime::currentDateTime();
    QList<QByteArray> lines;
    for (const QNetworkCookie &cookie : std::as_const(m_cookies)) {
        if (!cookie.isSessionCookie() && cookie.expirationDate() <= now)
            continue;
        if (const QByteArray line = NetscapeCookieLine(cookie, false); !line.isEmpty())
            lines.append(line);
    }
    std::sort(lines.begin(), lines.end());
    return cookiesfile::Write(m_settings.saveCookiesFile, lines);
}
