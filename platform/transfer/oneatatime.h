#pragma once

#include "hostschedule.h"
#include "transfer.h"

#include <QHash>

// The shared defaults of a transfer component that fetches one address at a time in OpenURL:
// Start only notes the request and Finish does the work, writing the body into the request's
// file when it names one. It has no identity and no cookies (both are ignored), and under its
// schedule every request goes at once and is tried once.
class OneAtATimeTransfer : public Transfer
{
public:
    Ticket Start(const Request &request) override;
    Result Finish(Ticket ticket) override;
    void Discard(Ticket ticket) override;

    void SetIdentity(const QByteArray &userAgent, const QByteArray &acceptLanguage) override;
    void SetCookie(const QByteArray &netscapeLine) override;
    void OnCookieReceived(CookieReceived handler) override;
    HostSchedule &Hosts() override;

private:
    QHash<Ticket, Request> m_deferred;
    Ticket m_lastTicket = 0;
    PoliteSchedule m_atOnce;
};
