#pragma once

#include "transfer/transfer.h"

#include <chrono>

// The run's downloads under the limits of the command line: every request that goes through it
// carries the most bytes its body may have and the longest it may take. Everything else is
// the transfer's own.
class LimitedTransfer final : public Transfer
{
public:
    struct Limits
    {
        qint64 maxBytes = 0; // 0: none
        QString maxBytesText;
        std::chrono::milliseconds maxTime{0}; // 0: none
    };

    // The transfer must outlive this one.
    LimitedTransfer(Transfer &transfer, Limits limits);
    Q_DISABLE_COPY_MOVE(LimitedTransfer)

    Result OpenURL(const Request &request) override;
    Ticket Start(const Request &request) override;
    Result Finish(Ticket ticket) override;
    void Discard(Ticket ticket) override;
    int RequestTimeout() const override;
    void SetRequestTimeout(int seconds) override;
    void SetIdentity(const QByteArray &userAgent, const QByteArray &acceptLanguage) override;
    void SetCookie(const QByteArray &netscapeLine) override;
    void OnCookieReceived(CookieReceived handler) override;
    HostSchedule &Hosts() override;
    bool StillExecuting() const override;
    void Cancel() override;

private:
    // The request with the limits, where it does not ask for tighter ones itself.
    Request Limited(Request request) const;

    Transfer &m_transfer;
    Limits m_limits;
};
