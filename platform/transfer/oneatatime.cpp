#include "oneatatime.h"

#include <QFile>

Transfer::Ticket OneAtATimeTransfer::Start(const Request &request)
{
    m_deferred.insert(++m_lastTicket, request);
    return m_lastTicket;
}

Transfer::Result OneAtATimeTransfer::Finish(Ticket ticket)
{
    const Request deferred = m_deferred.take(ticket);
    Result result = OpenURL(Request{deferred.address, QString(), deferred.referrer});
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

void OneAtATimeTransfer::Discard(Ticket ticket)
{
    m_deferred.remove(ticket);
}

void OneAtATimeTransfer::SetIdentity(const QByteArray &userAgent, const QByteArray &acceptLanguage)
{
    Q_UNUSED(userAgent);
    Q_UNUSED(acceptLanguage);
}

void OneAtATimeTransfer::SetCookie(const QByteArray &netscapeLine)
{
    Q_UNUSED(netscapeLine);
}

void OneAtATimeTransfer::OnCookieReceived(CookieReceived handler)
{
    Q_UNUSED(handler);
}

HostSchedule &OneAtATimeTransfer::Hosts()
{
    return m_atOnce;
}
