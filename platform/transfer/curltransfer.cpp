#include "curltransfer.h"

#include "bodyfile.h"
#include "curljob.h"
#include "curlworker.h"
#include "requestrules.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>

static_assert(CurlTransfer::CancelledCode == CURLE_ABORTED_BY_CALLBACK);
static_assert(CurlTransfer::BusyCode == CURLE_RECURSIVE_API_CALL);
static_assert(Transfer::TooLargeCode == CURLE_FILESIZE_EXCEEDED);

using curltransfer::Cancelled;
using curltransfer::Failure;
using curltransfer::Job;

namespace {

Transfer::Result Busy()
{
    return Failure(CurlTransfer::BusyCode, QStringLiteral("Another transfer is still in progress"));
}

QByteArray EncodeAddress(const QString &address)
{
    // Spaces and non-ASCII characters are escaped the way a browser would send them.
    const QUrl url(address, QUrl::TolerantMode);
    if (url.isValid() && !url.isEmpty())
        return url.toEncoded();
    return address.toUtf8();
}

// Cookies and TLS sessions of every transfer, and the caller's own handle into the cookies.
// libcurl takes the locks from whichever thread uses the share: the worker running
// transfers, or the caller setting a cookie.
class Share final
{
    Q_DISABLE_COPY_MOVE(Share)

public:
    Share();
    ~Share();

    CURLSH *Handle() const { return m_share; }
    bool CanSetCookies() const { return m_cookies != nullptr; }
    void SetCookie(const QByteArray &netscapeLine);

private:
    static void Lock(CURL *, curl_lock_data data, curl_lock_access, void *user);
    static void Unlock(CURL *, curl_lock_data data, void *user);

    CURLSH *m_share = nullptr;
    CURL *m_cookies = nullptr;
    std::mutex m_locks[CURL_LOCK_DATA_LAST];
};

Share::Share()
{
    curltransfer::InitCurl();
    m_share = curl_share_init();
    if (!m_share)
        return;
    curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &Share::Lock);
    curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &Share::Unlock);
    curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
    for (curl_lock_data data : {CURL_LOCK_DATA_COOKIE, CURL_LOCK_DATA_SSL_SESSION})
        curl_share_setopt(m_share, CURLSHOPT_SHARE, data);
    m_cookies = curl_easy_init();
    if (m_cookies)
        curl_easy_setopt(m_cookies, CURLOPT_SHARE, m_share);
}

Share::~Share()
{
    if (m_cookies)
        curl_easy_cleanup(m_cookies);
    if (m_share)
        curl_share_cleanup(m_share);
}

void Share::SetCookie(const QByteArray &netscapeLine)
{
    curl_easy_setopt(m_cookies, CURLOPT_COOKIELIST, netscapeLine.constData());
}

void Share::Lock(CURL *, curl_lock_data data, curl_lock_access, void *user)
{
    static_cast<Share *>(user)->m_locks[data].lock();
}

void Share::Unlock(CURL *, curl_lock_data data, void *user)
{
    static_cast<Share *>(user)->m_locks[data].unlock();
}

} // namespace

// The caller's side: tickets, identity, the cookie handler and the waits, all on the thread
// that uses the CurlTransfer. The worker (curlworker.cpp) sees none of it. They talk through
// the Job of each transfer alone: Start queues it on the worker (the worker's queue, under
// the worker's lock, curl_multi_wakeup as the wake-up); Cancel and Discard set its atomic
// flag and wake the worker; the worker hands the result back under the job's own lock and
// quits the waiting Finish's loop with a queued call. The share is used by both, under the
// locks libcurl takes through it.
struct CurlTransfer::Engine
{
    Engine() = default;
    Q_DISABLE_COPY_MOVE(Engine)
    // The worker ends before the receiver its cookie handler posts to goes.
    ~Engine() { worker.Stop(); }

    Ticket Start(const Request &request, int timeout);

    Share share;
    PoliteSchedule hosts;
    curltransfer::Worker worker{share.Handle(), hosts};

    // Where cookies received and reports arrive, on this thread.
    QObject receiver;
    CookieReceived cookieReceived;
    RequestReported requestReported;
    QByteArray userAgent = "Linkhauler/1.0", acceptLanguage;
    QList<QByteArray> headers;

    std::unordered_map<Ticket, std::shared_ptr<Job>> jobs; // started, not finished or discarded
    Ticket lastTicket = 0;
    bool waiting = false; // a Finish is waiting
};

Transfer::Ticket CurlTransfer::Engine::Start(const Request &asked, int timeout)
{
    Job::Request request;
    request.url = EncodeAddress(asked.address);
    request.host = HostOf(asked.address);
    // Taken now, while the file is the one the caller has just made.
    const int out = bodyfile::Take(asked, request.fileError);
    request.timeout = timeout;
    request.userAgent = userAgent;
    request.acceptLanguage = acceptLanguage;
    // The component's, then the request's own; a line that may not be a header is dropped.
    request.headers = headers;
    for (const QByteArray &header : asked.headers)
        if (IsExtraHeader(header))
            request.headers.append(header);
    if (!asked.referrer.isEmpty())
        request.page = QUrl(asked.referrer, QUrl::TolerantMode);
    request.maxBytes = asked.maxBytes;
    request.maxBytesText = asked.maxBytesText;
    request.maxTime = asked.maxTime;
    // Both posted to the receiver's thread, and dropped if the receiver is gone by then.
    request.cookieReceived = [this](QByteArray value, QString address) {
        QMetaObject::invokeMethod(
            &receiver,
            [this, value = std::move(value), address = std::move(address)] {
                if (cookieReceived)
                    cookieReceived(value, address);
            },
            Qt::QueuedConnection);
    };
    request.reported = [this](RequestReport report) {
        QMetaObject::invokeMethod(
            &receiver,
            [this, report = std::move(report)] {
                if (requestReported)
                    requestReported(report);
            },
            Qt::QueuedConnection);
    };
    auto job = std::make_shared<Job>(std::move(request), out);
    const Ticket ticket = ++lastTicket;
    jobs.emplace(ticket, job);
    worker.Submit(std::move(job));
    return ticket;
}

CurlTransfer::CurlTransfer() : m_engine(std::make_shared<Engine>())
{
}

CurlTransfer::~CurlTransfer()
{
    // The engine may outlive this object when a handler run by a wait deleted it; the
    // transfers still end here, and the wait returns its transfer as cancelled.
    m_engine->worker.Stop();
}

Transfer::Result CurlTransfer::OpenURL(const Request &request)
{
    if (m_engine->waiting)
        return Busy();
    return Finish(Start(request));
}

Transfer::Ticket CurlTransfer::Start(const Request &request)
{
    return m_engine->Start(request, m_timeout);
}

Transfer::Result CurlTransfer::Finish(Ticket ticket)
{
    // Only locals are used once the wait starts: a handler run by it may delete this object.
    const std::shared_ptr<Engine> engine = m_engine;
    if (engine->waiting)
        return Busy();
    const auto at = engine->jobs.find(ticket);
    if (at == engine->jobs.end())
        return Failure(CURLE_FAILED_INIT, QStringLiteral("No such transfer"));
    const std::shared_ptr<Job> job = at->second;
    QEventLoop loop;
    if (job->WaitWith(&loop)) {
        engine->waiting = true;
        loop.exec();
        engine->waiting = false;
    }
    engine->jobs.erase(ticket);
    // The reports and cookies of its requests were posted before its end: they reach the
    // caller before its result, also when it ended before this wait began.
    QCoreApplication::sendPostedEvents(&engine->receiver, QEvent::MetaCall);
    std::optional<Result> result = job->Take();
    if (!result) {
        // The loop was ended from outside, for instance by the application quitting.
        job->cancel = true;
        engine->worker.Wake();
        return Cancelled();
    }
    return std::move(*result);
}

void CurlTransfer::Discard(Ticket ticket)
{
    const auto at = m_engine->jobs.find(ticket);
    if (at == m_engine->jobs.end())
        return;
    at->second->cancel = true;
    m_engine->jobs.erase(at);
    m_engine->worker.Wake();
}

int CurlTransfer::RequestTimeout() const
{
    return m_timeout;
}

void CurlTransfer::SetRequestTimeout(int seconds)
{
    m_timeout = std::max(seconds, 1);
}

void CurlTransfer::SetPoliteness(const PoliteSchedule::Politeness &politeness)
{
    m_engine->hosts.SetPoliteness(politeness);
    // Transfers waiting for their turn look again under the new politeness.
    m_engine->worker.Wake();
}

PoliteSchedule &CurlTransfer::Hosts()
{
    return m_engine->hosts;
}

bool CurlTransfer::StillExecuting() const
{
    // A transfer whose result is still on its way to the waiting caller has not ended for it.
    return m_engine->waiting || m_engine->worker.Running() > 0;
}

void CurlTransfer::SetIdentity(const QByteArray &userAgent, const QByteArray &acceptLanguage)
{
    // A header value never holds a line break: a stray one would start a header of its own.
    const auto oneLine = [](QByteArray value) {
        return value.replace('\r', ' ').replace('\n', ' ').trimmed();
    };
    if (!userAgent.trimmed().isEmpty())
        m_engine->userAgent = oneLine(userAgent);
    m_engine->acceptLanguage = oneLine(acceptLanguage);
}

void CurlTransfer::SetCookie(const QByteArray &netscapeLine)
{
    if (!m_engine->share.CanSetCookies() || netscapeLine.contains('\n')
        || netscapeLine.contains('\r'))
        return;
    m_engine->share.SetCookie(netscapeLine);
}

void CurlTransfer::OnCookieReceived(CookieReceived handler)
{
    m_engine->cookieReceived = std::move(handler);
}

bool CurlTransfer::SetHeaders(const QList<QByteArray> &headers)
{
    if (!std::all_of(headers.begin(), headers.end(), &IsExtraHeader))
        return false;
    m_engine->headers = headers;
    return true;
}

void CurlTransfer::OnRequestReported(RequestReported handler)
{
    m_engine->requestReported = std::move(handler);
}

void CurlTransfer::SetRate(qint64 bytesPerSecond)
{
    m_engine->worker.SetRate(bytesPerSecond);
}

void CurlTransfer::Cancel()
{
    if (m_engine->worker.Running() == 0)
        return;
    for (const auto &[ticket, job] : m_engine->jobs)
        job->cancel = true;
    m_engine->worker.Wake();
}
