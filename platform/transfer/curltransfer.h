#pragma once

#include "hostschedule.h"
#include "transfer.h"

#include <memory>

// The transfer component on libcurl. Transfers run on one worker thread, several at once
// (at most MaxParallel, MaxPerHost to one host), on connections kept between transfers.
// Waiting calls wait in a local event loop, so the caller's windows keep repainting and a
// Cancel from one of their handlers ends the transfers at once. Use it from one thread
// only (the one that calls Start, Finish and OpenURL): that side lives in curltransfer.cpp,
// the worker's in curlworker.cpp, and the two meet only in the jobs of curljob.h.
class CurlTransfer final : public Transfer
{
public:
    // Failure codes besides the HTTP status (400 and above) and libcurl's own codes.
    static constexpr int CancelledCode = 42; // CURLE_ABORTED_BY_CALLBACK
    static constexpr int BusyCode = 93;      // CURLE_RECURSIVE_API_CALL
    static constexpr int DefaultTimeout = 60;

    CurlTransfer();
    ~CurlTransfer() override;
    CurlTransfer(const CurlTransfer &) = delete;
    CurlTransfer &operator=(const CurlTransfer &) = delete;

    // Fetches the whole content of an http, https or ftp address, following at most
    // 10 redirects. An HTTP status of 400 or more is a failure, never content.
    // Refused with BusyCode while another call is still waiting.
    Result OpenURL(const Request &request) override;

    // A file that cannot be had (a name that is a symbolic link, a descriptor that is not
    // open) fails the transfer with fileError.
    Ticket Start(const Request &request) override;
    // Refused with BusyCode while another call is still waiting; the transfer goes on.
    Result Finish(Ticket ticket) override;
    void Discard(Ticket ticket) override;

    int RequestTimeout() const override;
    // A time-out below 1 second would mean "wait forever" to libcurl: it becomes 1.
    void SetRequestTimeout(int seconds) override;

    // Without an identity the user agent is "Linkhauler/1.0"; the proxy is the one the
    // environment names (http_proxy, https_proxy, no_proxy), as the browser engine reads it.
    void SetIdentity(const QByteArray &userAgent, const QByteArray &acceptLanguage) override;
    // Cookies live in one store shared by every transfer; answers' cookies go there too.
    void SetCookie(const QByteArray &netscapeLine) override;
    void OnCookieReceived(CookieReceived handler) override;
    // Headers sent with every request started after, each "Name: value", before those of the
    // request itself. False, and the list in force kept, when one of them is not
    // IsExtraHeader.
    bool SetHeaders(const QList<QByteArray> &headers);

    // One request as it went out and ended: each try and each redirect hop of a transfer.
    struct RequestReport
    {
        QString address;       // as it went out, user information included
        int status = 0;        // the HTTP status of its answer; 0 when there was none
        qint64 bytes = 0;      // the bytes of the answer's body that came in
        qint64 durationMs = 0; // from going out to its end
    };
    // Called on the caller's thread, as its event loop runs, with each request that ended;
    // every request of a transfer has been reported by the time Finish returns it.
    using RequestReported = std::function<void(const RequestReport &report)>;
    void OnRequestReported(RequestReported handler);

    // The download bandwidth, in bytes per second, that every running transfer shares
    // together; 0 (the default): no cap.
    void SetRate(qint64 bytesPerSecond);

    // Without politeness every transfer starts at once and is tried once. Stop and Cancel
    // end a transfer that waits for its host's turn or for another try at once.
    void SetPoliteness(const PoliteSchedule::Politeness &politeness);
    PoliteSchedule &Hosts() override;

    bool StillExecuting() const override;
    // Ends every running transfer at once; each fails with CancelledCode. No effect when idle.
    void Cancel() override;

private:
    struct Engine;
    std::shared_ptr<Engine> m_engine;
    int m_timeout = DefaultTimeout;
};
