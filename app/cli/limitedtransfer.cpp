#include "limitedtransfer.h"

LimitedTransfer::LimitedTransfer(Transfer &transfer, Limits limits)
    : m_transfer(transfer)
    , m_limits(std::move(limits))
{
}

Transfer::Request LimitedTransfer::Limited(Request request) const
{
    if (m_limits.maxBytes > 0 && (request.maxBytes <= 0 || request.maxBytes > m_limits.maxBytes)) {
        request.maxBytes = m_limits.maxBytes;
        request.maxBytesText = m_limits.maxBytesText;
    }
    if (m_limits.maxTime.count() > 0
        && (request.maxTime.count() <= 0 || request.maxTime > m_limits.maxTime))
        request.maxTime = m_limits.maxTime;
    return request;
}

Transfer::Result LimitedTransfer::OpenURL(const Request &request)
{
    return m_transfer.OpenURL(Limited(request));
}

Transfer::Ticket LimitedTransfer::Start(const Request &request)
{
    return m_transfer.Start(Limited(request));
}

Transfer::Result LimitedTransfer::Finish(Ticket ticket)
{
    return m_transfer.Finish(ticket);
}

void LimitedTransfer::Discard(Ticket ticket)
{
    m_transfer.Discard(ticket);
}

int LimitedTransfer::RequestTimeout() const
{
    return m_transfer.RequestTimeout();
}

void LimitedTransfer::SetRequestTimeout(int seconds)
{
    m_transfer.SetRequestTimeout(seconds);
}

void LimitedTransfer::SetIdentity(const QByteArray &userAgent, const QByteArray &acceptLanguage)
{
    m_transfer.SetIdentity(userAgent, acceptLanguage);
}

void LimitedTransfer::SetCookie(const QByteArray &netscapeLine)
{
    m_transfer.SetCookie(netscapeLine);
}

void LimitedTransfer::OnCookieReceived(CookieReceived handler)
{
    m_transfer.OnCookieReceived(std::move(handler));
}

HostSchedule &LimitedTransfer::Hosts()
{
    return m_transfer.Hosts();
}

bool LimitedTransfer::StillExecuting() const
{
    return m_transfer.StillExecuting();
}

void LimitedTransfer::Cancel()
{
    m_transfer.Cancel();
}
