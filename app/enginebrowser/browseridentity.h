#pragma once

#include <QByteArray>

#include <functional>

class QNetworkCookie;
class QObject;
class QUrl;
class QWebEngineProfile;
class Transfer;

// Downloads present themselves as the page browser does: its user agent and accepted
// languages, and the cookies of its store, which stays the one source of truth. Cookies
// the browser gains or loses reach the transfer; cookies that download answers set go
// into the browser's store, so the next page load sees them too; `handedOver` learns of each
// as it goes in (the store reports it only later). The connections live as long as `context`.
void ShareBrowserIdentity(QWebEngineProfile &profile, Transfer &transfer, QObject *context,
                          std::function<void(const QNetworkCookie &)> handedOver = {});

// Whether a request for the address would carry the cookie (its domain, and its path as a whole
// segment); when unsure, it would.
bool WouldCarry(const QNetworkCookie &cookie, const QUrl &address);

// The cookie as a line of the Netscape cookie file format; an expiry in the past when it
// is being removed. Empty for a cookie that such a line cannot carry.
QByteArray NetscapeCookieLine(const QNetworkCookie &cookie, bool removed);
