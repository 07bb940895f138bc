#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QString>

#include <functional>

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

    virtual Result OpenURL(const QString &address) = 0;

    // Begins fetching the address and returns at once. `file`, when not empty, names an
    // existing file that receives the body (emptied first) instead of memory. The
    // time-out in force now applies to this transfer.
    // A component that fetches one address at a time does the work in Finish.
    virtual Ticket Start(const QString &address, const QString &file)
    {
        m_deferred.insert(++m_lastTicket, {address, file});
        return m_lastTicket;
    }
    // Waits, like OpenURL, until the transfer has ended, and hands over its result.
    // Each ticket is finished or discarded once.
    virtual Result Finish(Ticket ticket)
    {
        const Deferred deferred = m_deferred.take(ticket);
        Result result = OpenURL(deferred.address);
        result.size = result.content.size();
        if (result.ok && !deferred.file.isEmpty()) {
            QFile out(deferred.file);
            if (!out.open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Truncate)
                || out.write(result.content) != result.content.size() || !out.flush()) {
                result = Result{false, {}, 0, out.errorString(), 0, true};
            }
            result.content.clear();
        }
        return result;
    }
    // Ends the transfer if it still runs and forgets it; its file is left to the caller.
    virtual void Discard(Ticket ticket) { m_deferred.remove(ticket); }

    // Connect and stall time-out in whole seconds.
    virtual int RequestTimeout() const = 0;
    virtual void SetRequestTimeout(int seconds) = 0;

    // Downloads present themselves as the page browser does. Each setting applies to the
    // transfers started after it; a component without cookies or headers ignores them.
    virtual void SetIdentity(const QByteArray &userAgent, const QByteArray &acceptLanguage)
    {
        Q_UNUSED(userAgent);
        Q_UNUSED(acceptLanguage);
    }
    // Sent as Referer: the page whose links are fetched. Empty: none.
    virtual void SetReferrer(const QString &address) { Q_UNUSED(address); }
    // Adds or replaces one cookie, as a line of the Netscape cookie file format (domain,
    // tail match, path, secure, expiry, name, value, tab-separated; "#HttpOnly_" before
    // the domain of an HttpOnly cookie). An expiry in the past removes it.
    virtual void SetCookie(const QByteArray &netscapeLine) { Q_UNUSED(netscapeLine); }
    // Called on the caller's thread with the value of every Set-Cookie header an answer
    // brought and the address that answered.
    using CookieReceived = std::function<void(const QByteArray &setCookie, const QString &address)>;
    virtual void OnCookieReceived(CookieReceived handler) { Q_UNUSED(handler); }

    // Politeness toward each host, and further tries of a transfer that may succeed later.
    // A component without them starts every transfer at once and tries it once.
    struct Politeness
    {
        int delayMs = 0; // at least this long between the starts of two requests to one host
        // Further tries of a transfer cut off, timed out, or answered with a 5xx or a 429.
        int retries = 0;
    };
    virtual void SetPoliteness(const Politeness &politeness) { Q_UNUSED(politeness); }
    // A request to the address's host that goes out elsewhere (a page the browser loads) asks
    // for its turn: 0 when it may go now, its start then counting from now; otherwise how
    // many milliseconds to wait before asking again.
    virtual qint64 TakeTurn(const QString &address)
    {
        Q_UNUSED(address);
        return 0;
    }
    // Such a request is over (a page has loaded): it may have gone out later than its turn,
    // so the host's next turn counts from now.
    virtual void RequestEnded(const QString &address) { Q_UNUSED(address); }
    // Such a request failed in a way that may pass (`busy`: the server answered 429 or 503),
    // after `tries` further tries of it: how many milliseconds to wait before trying it again,
    // or -1 when it is not tried again. A busy server has every request to it wait that long.
    virtual qint64 RetryDelay(const QString &address, int tries, bool busy)
    {
        Q_UNUSED(address);
        Q_UNUSED(tries);
        Q_UNUSED(busy);
        return -1;
    }

    // True while any transfer is running.
    virtual bool StillExecuting() const = 0;
    // Ends every running transfer at once; each fails as cancelled.
    virtual void Cancel() = 0;

private:
    struct Deferred
    {
        QString address, file;
    };
    QHash<Ticket, Deferred> m_deferred;
    Ticket m_lastTicket = 0;
};
