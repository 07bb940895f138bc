#pragma once

#include "hostschedule.h"
#include "transfer.h"

#include <QHash>

// The shared defaults of a transfer component that fetches one address at a time in OpenURL:
// Start only notes the request (and takes its file, as the real one does) and Finish does the
// work, writing the body into the request's file when it has one. A body larger than the
// request allows fails as the real one fails it. It has no identity or cookies (both are
// ignored), and under its schedule every request goes at once and is tried once.
class OneAtATimeTransfer : public Transfer
{
public:
    OneAtATimeTransfer() = default;
    Q_DISABLE_COPY_MOVE(OneAtATimeTransfer)
    ~OneAtATimeTransfer() override;

    Ticket Start(const Request &request) override;
    Result Finish(Ticket ticket) override;
    void Discard(Ticket ticket) override;

    void SetIdentity(const QByteArray &userAgent, const QByteArray &acceptLanguage) override;
    void SetCookie(const QByteArray &netscapeLine) override;
    void OnCookieReceived(CookieReceived handler) override;
    HostSchedule &Hosts() override;

private:
    struct Deferred
    {
        Request request;
        int out = -1; // the file's descriptor of our own, taken by Start
        QString fileError;
    };

    QHash<Ticket, Deferred> m_deferred;
    Ticket m_lastTicket = 0;
    PoliteSchedule m_atOnce;
};
