#include "browseridentity.h"

#include "transfer/transfer.h"

#include <QDateTime>
#include <QNetworkCookie>
#include <QPointer>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

using namespace Qt::StringLiterals;

QByteArray NetscapeCookieLine(const QNetworkCookie &cookie, bool removed)
{
    const QByteArray domain = cookie.domain().toUtf8();
    const QByteArray path = cookie.path().isEmpty() ? QByteArray("/") : cookie.path().toUtf8();
    const QByteArray fields = domain + path + cookie.name() + cookie.value();
    // A tab or line break would shift or end the line's fields.
    if (domain.isEmpty() || cookie.name().isEmpty() || fields.contains('\t')
        || fields.contains('\n') || fields.contains('\r'))
        return {};
    // A leading dot is a cookie for the domain and its subdomains; none is host-only.
    const bool tailMatch = domain.startsWith('.');
    qint64 expires = 0; // a session cookie
    if (removed)
        expires = 1;
    else if (!cookie.isSessionCookie())
        expires = std::max<qint64>(cookie.expirationDate().toSecsSinceEpoch(), 1);
    return (cookie.isHttpOnly() ? "#HttpOnly_" : "") + domain + '\t'
        + (tailMatch ? "TRUE" : "FALSE") + '\t' + path + '\t'
        + (cookie.isSecure() ? "TRUE" : "FALSE") + '\t' + QByteArray::number(expires) + '\t'
        + cookie.name() + '\t' + cookie.value();
}

bool WouldCarry(const QNetworkCookie &cookie, const QUrl &address)
{
    const QString host = address.host();
    QString domain = cookie.domain().toLower();
    if (domain.isEmpty() || host.isEmpty())
        return true;
    if (domain.startsWith(u'.')) {
        domain.remove(0, 1);
        if (host != domain && !host.endsWith(u'.' + domain))
            return false;
    } else if (host != domain) {
        return false;
    }
    const QString path = address.path().isEmpty() ? u"/"_s : address.path();
    const QString scope = cookie.path().isEmpty() ? u"/"_s : cookie.path();
    return path == scope
        || (path.startsWith(scope) && (scope.endsWith(u'/') || path.at(scope.size()) == u'/'));
}

void ShareBrowserIdentity(QWebEngineProfile &profile, Transfer &transfer, QObject *context,
                          std::function<void(const QNetworkCookie &)> handedOver)
{
    // The engine sends Accept-Language only when the profile names languages.
    transfer.SetIdentity(profile.httpUserAgent().toUtf8(), profile.httpAcceptLanguage().toUtf8());

    QWebEngineCookieStore *store = profile.cookieStore();
    QObject::connect(store, &QWebEngineCookieStore::cookieAdded, context,
                     [&transfer](const QNetworkCookie &cookie) {
                         if (const QByteArray line = NetscapeCookieLine(cookie, false);
                             !line.isEmpty())
                             transfer.SetCookie(line);
                     });
    QObject::connect(store, &QWebEngineCookieStore::cookieRemoved, context,
                     [&transfer](const QNetworkCookie &cookie) {
                         if (const QByteArray line = NetscapeCookieLine(cookie, true);
                             !line.isEmpty())
                             transfer.SetCookie(line);
                     });
    transfer.OnCookieReceived(
        [store, guard = QPointer<QObject>(context),
         handedOver = std::move(handedOver)](const QByteArray &value, const QString &address) {
            if (!guard)
                return;
            const QUrl origin(address);
            for (QNetworkCookie cookie : QNetworkCookie::parseCookies(value)) {
                cookie.normalize(origin);
                if (handedOver)
                    handedOver(cookie);
                store->setCookie(cookie, origin);
            }
        });
    // The cookies kept from earlier sessions arrive through cookieAdded.
    store->loadAllCookies();
}
