#pragma once

#include "transfer/transfer.h"

#include <QList>

// A transfer that sends the same header lines with every request besides what each request
// brings: the --header options of a run, for its downloads as for its pages.
class HeaderedTransfer final : public Transfer
{
public:
    // `transfer` does the work and must outlive this one.
    HeaderedTransfer(Transfer &transfer, QList<QByteArray> headers)
        : m_transfer(transfer)
        , m_headers(std::move(headers))
    {
    }
    Q_DISABLE_COPY_MOVE(HeaderedTransfer)

    Result OpenURL(const Request &request) override { return m_transfer.OpenURL(With(request)); }
    Ticket Start(const Request &request) override { return m_transfer.Start(With(request)); }
    Result Finish(Ticket ticket) override { return m_transfer.Finish(ticket); }
    void Discard(Ticket ticket) override { m_transfer.Discard(ticket); }
    int RequestTimeout() const override { return m_transfer.RequestTimeout(); }
    void SetRequestTimeout(int seconds) override { m_transfer.SetRequestTimeout(seconds); }
    void SetIdentity(const QByteArray &userAgent, const QByteArray &acceptLanguage) override
    {
        m_transfer.SetIdentity(userAgent, acceptLanguage);
    }
    void SetCookie(const QByteArray &netscapeLine) override { m_transfer.SetCookie(netscapeLine); }
    void OnCookieReceived(CookieReceived handler) override
    {
        m_transfer.OnCookieReceived(std::move(handler));
    }
    HostSchedule &Hosts() override { return m_transfer.Hosts(); }
    bool StillExecuting() const override { return m_transfer.StillExecuting(); }
    void Cancel() override { m_transfer.Cancel(); }

private:
    // The run's lines, then those the request brings.
    Request With(Request request) const
    {
        request.headers = m_headers + request.headers;
        return request;
    }

    Transfer &m_transfer;
    QList<QByteArray> m_headers;
};
