#pragma once

#include "transfer.h"

#include <memory>

// The transfer component on libcurl. OpenURL runs the transfer on a worker thread and
// waits in a local event loop, so the caller's windows keep repainting and a Cancel
// from one of their handlers ends the transfer at once. Connections are kept between
// transfers and reused. Use it from one thread only (the one that calls OpenURL).
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
    Result OpenURL(const QString &address) override;

    int RequestTimeout() const override;
    // A time-out below 1 second would mean "wait forever" to libcurl: it becomes 1.
    void SetRequestTimeout(int seconds) override;

    bool StillExecuting() const override;
    // Ends the running transfer at once; it fails with CancelledCode. No effect when idle.
    void Cancel() override;

private:
    struct Engine;
    std::shared_ptr<Engine> m_engine;
    int m_timeout = DefaultTimeout;
};
