#include "oneatatime.h"

#include "bodyfile.h"

#include <QScopeGuard>

OneAtATimeTransfer::~OneAtATimeTransfer()
{
    for (const Deferred &deferred : std::as_const(m_deferred))
        bodyfile::Release(deferred.out);
}

Transfer::Ticket OneAtATimeTransfer::Start(const Request &request)
{
    Deferred deferred{request, -1, {}};
    deferred.out = bodyfile::Take(request, deferred.fileError);
    m_deferred.insert(++m_lastTicket, std::move(deferred));
    return m_lastTicket;
}

Transfer::Result OneAtATimeTransfer::Finish(Ticket ticket)
{
    const Deferred deferred = m_deferred.take(ticket);
    const auto release = qScopeGuard([&] { bodyfile::Release(deferred.out); });
    if (!deferred.fileError.isEmpty())
        return Result{false, {}, 0, deferred.fileError, 0, true};
    Request inMemory = deferred.request;
    inMemory.file.clear();
    inMemory.descriptor = -1;
    Result result = OpenURL(inMemory);
    result.size = result.content.size();
    const qint64 most = deferred.request.maxBytes;
    if (result.ok && most > 0 && result.size > most)
        return bodyfile::TooLarge(most, deferred.request.maxBytesText);
    if (result.ok && deferred.out >= 0) {
        QString error;
        if (!bodyfile::Empty(deferred.out, error)
            || !bodyfile::Write(deferred.out, result.content.constData(), result.size, error))
            result = Result{false, {}, 0, error, 0, true};
        result.content.clear();
    }
    return result;
}

void OneAtATimeTransfer::Discard(Ticket ticket)
{
    bodyfile::Release(m_deferred.take(ticket).out);
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
