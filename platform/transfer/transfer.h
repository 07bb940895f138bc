#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>

class HostSchedule;

// The internet transfer component: fetch the content of an address, into memory or into
// a file. Waiting calls block their caller but keep the caller's event loop running, so
// windows repaint and a Cancel from a handler ends the transfer at once.
class Transfer
{
public:
    // How many transfers run at once, and how many of them to one host: as many as a
    // browser opens to one host.
    static constexpr int MaxParallel = 6;
    static constexpr int MaxPerHost = 6;
    // The failure code of a body larger than its request allows (libcurl's number for it).
    static constexpr int TooLargeCode = 63;

    // One request, whole: what is fetched, where it goes and as whose.
    struct Request
    {
        QString address{};
        // When not empty: an existing file that receives the body (emptied first) instead of
        // memory. Start opens it at once, never through a symbolic link, and writes through
        // that handle from then on.
        QString file{};
        // The full address of the page whose link is fetched. What goes out as Referer follows
        // the browser's default policy (ReferrerFor), also after each redirect; empty: none.
        QString referrer{};
        // "Name: value" lines sent besides the usual headers; one that names a usual header
        // (User-Agent, Referer, Accept-Language) takes its place. A line that is not
        // IsExtraHeader (a line break, no colon, Host, Cookie, Content-Length) is not sent.
        QList<QByteArray> headers{};
        // When 0 or more, in place of a file name: an open, writable descriptor of the file
        // that receives the body (emptied first). Start takes a duplicate of it, so the caller
        // may close its own at once; nothing is ever opened by name.
        int descriptor = -1;
        // When above 0: the most bytes the body may have. A larger one, announced or received,
        // fails with TooLargeCode as "larger than " followed by maxBytesText (the limit as the
        // user wrote it; empty: the number), and is never tried again.
        qint64 maxBytes = 0;
        QString maxBytesText{};
        // When above 0: the longest the request may take from when it first goes out, its
        // redirects and further tries included. Reaching it fails like a time-out that is not
        // tried again.
        std::chrono::milliseconds maxTime{0};
    };

    struct Result
    {
        bool ok = false;
        QByteArray content;     // the bytes received, when ok and not written to a file
        int code = 0;           // when not ok: a numeric failure code
        QString description;    // when not ok: what went wrong, for the user
        qint64 size = 0;        // how many bytes were received, in memory or in the file
        bool fileError = false; // not ok because the file could not be written
    };

    // One transfer begun by Start; 0 is none.
    using Ticket = quint64;

    virtual ~Transfer() = default;

    // Begins the request and waits, like Finish, until it has ended.
    virtual Result OpenURL(const Request &request) = 0;
    // Begins the request and returns at once. The time-out in force now applies to it.
    virtual Ticket Start(const Request &request) = 0;
    // Waits, like OpenURL, until the transfer has ended, and hands over its result.
    // Each ticket is finished or discarded once.
    virtual Result Finish(Ticket ticket) = 0;
    // Ends the transfer if it still runs and forgets it; its file is left to the caller.
    virtual void Discard(Ticket ticket) = 0;

    // Connect and stall time-out in whole seconds.
    virtual int RequestTimeout() const = 0;
    virtual void SetRequestTimeout(int seconds) = 0;

    // Downloads present themselves as the page browser does: the identity applies to the
    // transfers started after it.
    virtual void SetIdentity(const QByteArray &userAgent, const QByteArray &acceptLanguage) = 0;
    // Adds or replaces one cookie, as a line of the Netscape cookie file format (domain,
    // tail match, path, secure, expiry, name, value, tab-separated; "#HttpOnly_" before
    // the domain of an HttpOnly cookie). An expiry in the past removes it.
    virtual void SetCookie(const QByteArray &netscapeLine) = 0;
    // Called on the caller's thread with the value of every Set-Cookie header an answer
    // brought and the address that answered.
    using CookieReceived = std::function<void(const QByteArray &setCookie, const QString &address)>;
    virtual void OnCookieReceived(CookieReceived handler) = 0;

    // The turns of each host, which requests that go out elsewhere (the pages a browser loads)
    // take too.
    virtual HostSchedule &Hosts() = 0;

    // True while any transfer is running.
    virtual bool StillExecuting() const = 0;
    // Ends every running transfer at once; each fails as cancelled.
    virtual void Cancel() = 0;
};
