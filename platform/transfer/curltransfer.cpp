#include "curltransfer.h"

#include <QEventLoop>
#include <QFile>
#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

static_assert(CurlTransfer::CancelledCode == CURLE_ABORTED_BY_CALLBACK);
static_assert(CurlTransfer::BusyCode == CURLE_RECURSIVE_API_CALL);

namespace {

constexpr const char *AllowedProtocols = "http,https,ftp";
constexpr long MaxRedirects = 10;
// How long the worker sleeps in libcurl when nothing happens; a new transfer or a cancel
// wakes it sooner.
constexpr int PollMilliseconds = 1000;

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Transfer::Result failure(int code, const QString &description)
{
    Transfer::Result result;
    result.code = code;
    result.description = description;
    return result;
}

Transfer::Result cancelled()
{
    return failure(CurlTransfer::CancelledCode, QStringLiteral("Cancelled"));
}

Transfer::Result busy()
{
    return failure(CurlTransfer::BusyCode, QStringLiteral("Another transfer is still in progress"));
}

QString curlText(CURLcode code)
{
    return QString::fromUtf8(curl_easy_strerror(code));
}

QByteArray encodeAddress(const QString &address)
{
    // Spaces and non-ASCII characters are escaped the way a browser would send them.
    const QUrl url(address, QUrl::TolerantMode);
    if (url.isValid() && !url.isEmpty())
        return url.toEncoded();
    return address.toUtf8();
}

// One transfer. The worker alone touches the libcurl side; `done`, `result` and `waiter`
// are shared and guarded by the engine's mutex.
struct Job
{
    QByteArray url;
    QString file;
    long timeout = CurlTransfer::DefaultTimeout;
    QByteArray userAgent, referrer;
    curl_slist *headers = nullptr;
    // Worker thread: hands a Set-Cookie value and the answering address on.
    std::function<void(QByteArray, QString)> cookieReceived;
    std::atomic<bool> cancel{false};

    CURL *easy = nullptr;
    std::unique_ptr<QFile> out;
    QByteArray body;
    qint64 bytes = 0;
    long httpStatus = 0; // of the last response; 0 when the protocol is not HTTP
    QByteArray reason;
    bool outOfMemory = false;
    QString writeError; // set when the file refused the body
    // When a request was last sent or a byte last came in; unset while connecting.
    std::optional<std::chrono::steady_clock::time_point> lastTraffic;
    bool stalled = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    bool done = false;
    Transfer::Result result;
    QEventLoop *waiter = nullptr;
};

size_t onHeader(char *data, size_t size, size_t count, void *user)
{
    auto *job = static_cast<Job *>(user);
    const size_t length = size * count;
    job->lastTraffic = std::chrono::steady_clock::now();
    const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
    if (line.size() > 11 && line.left(11).toLower() == "set-cookie:" && job->cookieReceived) {
        const char *address = nullptr;
        curl_easy_getinfo(job->easy, CURLINFO_EFFECTIVE_URL, &address);
        job->cookieReceived(line.mid(11).trimmed(), QString::fromUtf8(address ? address : ""));
    }
    // Every response of a redirect chain starts with its status line; the last one counts.
    if (line.startsWith("HTTP/")) {
        const QList<QByteArray> parts = line.split(' ');
        job->httpStatus = parts.size() > 1 ? parts.at(1).toLong() : 0;
        const qsizetype reasonStart = parts.size() > 2 ? parts.at(0).size() + parts.at(1).size() + 2
                                                       : -1;
        job->reason = reasonStart > 0 ? line.mid(reasonStart).trimmed() : QByteArray();
        job->body.clear();
        if (job->out && job->bytes > 0 && !(job->out->seek(0) && job->out->resize(0))) {
            job->writeError = job->out->errorString();
            return 0;
        }
        job->bytes = 0;
    }
    return length;
}

size_t onData(char *data, size_t size, size_t count, void *user)
{
    auto *job = static_cast<Job *>(user);
    const size_t length = size * count;
    job->lastTraffic = std::chrono::steady_clock::now();
    // An error page is never content: read it to keep the connection usable, drop it.
    if (job->httpStatus >= 400)
        return length;
    if (job->out) {
        // A write cut short (a full disk) tells no reason; writing the rest then does.
        for (qint64 written = 0; written < qint64(length);) {
            const qint64 step = job->out->write(data + written, qint64(length) - written);
            if (step <= 0) {
                job->writeError = job->out->errorString();
                return 0;
            }
            written += step;
        }
    } else {
        try {
            job->body.append(data, qsizetype(length));
        } catch (const std::bad_alloc &) {
            job->outOfMemory = true;
            return 0;
        }
    }
    job->bytes += qint64(length);
    return length;
}

// Connected (or reusing a connection), the request about to go out: the stall clock starts.
int onRequest(void *user, char *, char *, int, int)
{
    static_cast<Job *>(user)->lastTraffic = std::chrono::steady_clock::now();
    return CURL_PREREQFUNC_OK;
}

// libcurl's own low-speed check averages over seconds and so ends a download that brings a
// byte a second; a stall is a time-out without any byte at all. Connecting has its own limit.
int onProgress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *job = static_cast<Job *>(user);
    const auto now = std::chrono::steady_clock::now();
    if (job->lastTraffic && now - *job->lastTraffic >= std::chrono::seconds(job->timeout)) {
        job->stalled = true;
        return 1;
    }
    return 0;
}

// What a transfer that libcurl has ended with `code` amounts to.
Transfer::Result outcome(Job &job, CURLcode code)
{
    if (job.out) {
        if (job.writeError.isEmpty() && !job.out->flush())
            job.writeError = job.out->errorString();
        job.out->close();
    }
    if (!job.writeError.isEmpty()) {
        Transfer::Result result = failure(0, job.writeError);
        result.fileError = true;
        result.size = job.bytes;
        return result;
    }
    if (job.outOfMemory)
        return failure(CURLE_OUT_OF_MEMORY, curlText(CURLE_OUT_OF_MEMORY));
    if (job.stalled)
        return failure(
            CURLE_OPERATION_TIMEDOUT,
            curlText(CURLE_OPERATION_TIMEDOUT)
                + QStringLiteral(
                      ": Operation too slow. Less than 1 bytes/sec transferred the last %1 seconds")
                      .arg(job.timeout));
    if (code != CURLE_OK) {
        QString description = curlText(code);
        const QString detail = QString::fromUtf8(job.errorBuffer).trimmed();
        if (!detail.isEmpty() && detail != description)
            description += QStringLiteral(": ") + detail;
        return failure(int(code), description);
    }
    if (job.httpStatus >= 400) {
        const int status = int(job.httpStatus);
        return failure(
            status,
            job.reason.isEmpty()
                ? QStringLiteral("HTTP error %1").arg(status)
                : QStringLiteral("HTTP %1 %2").arg(status).arg(QString::fromLatin1(job.reason)));
    }
    Transfer::Result result;
    result.ok = true;
    result.content = std::move(job.body);
    result.size = job.bytes;
    return result;
}

} // namespace

struct CurlTransfer::Engine
{
    CURLM *multi = nullptr; // holds the connection cache across transfers
    CURLSH *share =
        nullptr; // cookies and TLS sessions of every transfer (the multi handle keeps name lookups)
    CURL *cookies = nullptr; // the user-interface thread's way into the shared cookies
    std::mutex shareLocks[CURL_LOCK_DATA_LAST];
    std::thread worker;

    // User-interface thread: where cookies received arrive.
    QObject receiver;
    CookieReceived cookieReceived;
    QByteArray userAgent = "Linkhauler/1.0", acceptLanguage, referrer;

    std::mutex mutex;
    bool quit = false;
    std::vector<std::shared_ptr<Job>> incoming;            // started, not yet on the worker
    std::unordered_map<Ticket, std::shared_ptr<Job>> jobs; // started, not yet handed over
    std::atomic<int> running{0};                           // started and not yet ended

    // User-interface thread only.
    Ticket lastTicket = 0;
    bool waiting = false;

    Engine()
    {
        initCurlOnce();
        multi = curl_multi_init();
        if (multi) {
            curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, long(MaxParallel));
            curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, long(MaxPerHost));
            // The cache otherwise shrinks with the transfers under way and closes connections
            // whenever a page's downloads run out.
            curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, long(MaxParallel));
        }
        share = curl_share_init();
        if (share) {
            curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &lockShare);
            curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &unlockShare);
            curl_share_setopt(share, CURLSHOPT_USERDATA, this);
            for (curl_lock_data data : {CURL_LOCK_DATA_COOKIE, CURL_LOCK_DATA_SSL_SESSION})
                curl_share_setopt(share, CURLSHOPT_SHARE, data);
            cookies = curl_easy_init();
            if (cookies)
                curl_easy_setopt(cookies, CURLOPT_SHARE, share);
        }
    }

    ~Engine()
    {
        shutDown();
        if (cookies)
            curl_easy_cleanup(cookies);
        if (multi)
            curl_multi_cleanup(multi);
        if (share)
            curl_share_cleanup(share);
    }

    static void lockShare(CURL *, curl_lock_data data, curl_lock_access, void *user)
    {
        static_cast<Engine *>(user)->shareLocks[data].lock();
    }
    static void unlockShare(CURL *, curl_lock_data data, void *user)
    {
        static_cast<Engine *>(user)->shareLocks[data].unlock();
    }

    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    void wake()
    {
        if (multi)
            curl_multi_wakeup(multi);
    }

    // Every transfer ends as cancelled and the worker stops.
    void shutDown()
    {
        {
            std::lock_guard lock(mutex);
            quit = true;
        }
        wake();
        if (worker.joinable())
            worker.join();
    }

    Ticket start(QByteArray url, const QString &file, int timeout)
    {
        auto job = std::make_shared<Job>();
        job->url = std::move(url);
        job->file = file;
        job->timeout = timeout;
        job->userAgent = userAgent;
        job->referrer = referrer;
        if (!acceptLanguage.isEmpty())
            job->headers = curl_slist_append(nullptr,
                                             ("Accept-Language: " + acceptLanguage).constData());
        job->cookieReceived = [this](QByteArray value, QString address) {
            // Posted to the receiver's thread; dropped if the receiver is gone by then.
            QMetaObject::invokeMethod(
                &receiver,
                [this, value = std::move(value), address = std::move(address)] {
                    if (cookieReceived)
                        cookieReceived(value, address);
                },
                Qt::QueuedConnection);
        };
        const Ticket ticket = ++lastTicket;
        if (!multi) {
            job->done = true;
            job->result = failure(CURLE_FAILED_INIT, curlText(CURLE_FAILED_INIT));
            std::lock_guard lock(mutex);
            jobs.emplace(ticket, job);
            return ticket;
        }
        {
            std::lock_guard lock(mutex);
            jobs.emplace(ticket, job);
            incoming.push_back(job);
            ++running;
        }
        if (!worker.joinable())
            worker = std::thread([this] { work(); });
        wake();
        return ticket;
    }

    // Worker thread: the job has ended; tell whoever waits for it.
    void complete(Job &job, Transfer::Result result)
    {
        if (job.easy) {
            curl_multi_remove_handle(multi, job.easy);
            curl_easy_cleanup(job.easy);
            job.easy = nullptr;
        }
        job.out.reset();
        curl_slist_free_all(job.headers);
        job.headers = nullptr;
        std::lock_guard lock(mutex);
        job.result = std::move(result);
        job.done = true;
        --running;
        if (job.waiter)
            QMetaObject::invokeMethod(job.waiter, &QEventLoop::quit, Qt::QueuedConnection);
    }

    // Worker thread: hands the job to libcurl, or ends it when it cannot start.
    bool begin(Job &job)
    {
        if (!job.file.isEmpty()) {
            job.out = std::make_unique<QFile>(job.file);
            // The file must still be there: a caller that gave it up has removed it. Unbuffered,
            // so that a write that fails is the one that reports why.
            if (!job.out->open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Truncate
                               | QIODevice::Unbuffered)) {
                Transfer::Result result = failure(0, job.out->errorString());
                result.fileError = true;
                complete(job, std::move(result));
                return false;
            }
        }
        CURL *easy = curl_easy_init();
        if (!easy) {
            complete(job, failure(CURLE_FAILED_INIT, curlText(CURLE_FAILED_INIT)));
            return false;
        }
        job.easy = easy;
        curl_easy_setopt(easy, CURLOPT_PRIVATE, &job);
        curl_easy_setopt(easy, CURLOPT_URL, job.url.constData());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, MaxRedirects);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, AllowedProtocols);
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, AllowedProtocols);
        curl_easy_setopt(easy, CURLOPT_SHARE, share);
        // An empty cookie file reads nothing but switches the cookie engine on.
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
        curl_easy_setopt(easy, CURLOPT_USERAGENT, job.userAgent.constData());
        if (!job.referrer.isEmpty())
            curl_easy_setopt(easy, CURLOPT_REFERER, job.referrer.constData());
        if (job.headers)
            curl_easy_setopt(easy, CURLOPT_HTTPHEADER, job.headers);
        // The time-out bounds connecting and any stall, never a download that keeps moving.
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, job.timeout);
        curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &onRequest);
        curl_easy_setopt(easy, CURLOPT_PREREQDATA, &job);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &job);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, job.errorBuffer);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &job);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onData);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &job);
        if (CURLMcode added = curl_multi_add_handle(multi, easy); added != CURLM_OK) {
            curl_easy_cleanup(easy);
            job.easy = nullptr;
            complete(job,
                     failure(CURLE_FAILED_INIT, QString::fromUtf8(curl_multi_strerror(added))));
            return false;
        }
        return true;
    }

    // The worker thread's loop: takes new transfers, drops cancelled ones, moves the rest.
    void work()
    {
        std::vector<std::shared_ptr<Job>> active;
        for (;;) {
            std::vector<std::shared_ptr<Job>> fresh;
            bool stopping = false;
            {
                std::lock_guard lock(mutex);
                fresh.swap(incoming);
                stopping = quit;
            }
            for (std::shared_ptr<Job> &job : fresh) {
                if (stopping || job->cancel)
                    complete(*job, cancelled());
                else if (begin(*job))
                    active.push_back(std::move(job));
            }
            std::erase_if(active, [&](const std::shared_ptr<Job> &job) {
                if (!stopping && !job->cancel)
                    return false;
                complete(*job, cancelled());
                return true;
            });
            if (stopping)
                return;

            int still = 0;
            CURLMcode step = curl_multi_perform(multi, &still);
            int left = 0;
            while (CURLMsg *message = curl_multi_info_read(multi, &left)) {
                if (message->msg != CURLMSG_DONE)
                    continue;
                Job *ended = nullptr;
                curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &ended);
                const CURLcode code = message->data.result;
                auto at = std::find_if(active.begin(), active.end(),
                                       [ended](const auto &job) { return job.get() == ended; });
                if (at == active.end())
                    continue;
                const std::shared_ptr<Job> job = *at;
                active.erase(at);
                // A cancel that came while libcurl was ending it still wins.
                complete(*job, job->cancel ? cancelled() : outcome(*job, code));
            }
            if (step == CURLM_OK)
                step = curl_multi_poll(multi, nullptr, 0, PollMilliseconds, nullptr);
            if (step != CURLM_OK) {
                for (const std::shared_ptr<Job> &job : active)
                    complete(
                        *job,
                        failure(CURLE_FAILED_INIT, QString::fromUtf8(curl_multi_strerror(step))));
                active.clear();
            }
        }
    }
};

CurlTransfer::CurlTransfer() : m_engine(std::make_shared<Engine>())
{
}

CurlTransfer::~CurlTransfer()
{
    // The engine may outlive this object when a handler run by a wait deleted it; the
    // transfers still end here, and the wait returns its transfer as cancelled.
    m_engine->shutDown();
}

Transfer::Result CurlTransfer::OpenURL(const QString &address)
{
    if (m_engine->waiting)
        return busy();
    return Finish(Start(address, QString()));
}

Transfer::Ticket CurlTransfer::Start(const QString &address, const QString &file)
{
    return m_engine->start(encodeAddress(address), file, m_timeout);
}

Transfer::Result CurlTransfer::Finish(Ticket ticket)
{
    // Only locals are used once the wait starts: a handler run by it may delete this object.
    const std::shared_ptr<Engine> engine = m_engine;
    if (engine->waiting)
        return busy();
    std::shared_ptr<Job> job;
    QEventLoop loop;
    {
        std::lock_guard lock(engine->mutex);
        const auto at = engine->jobs.find(ticket);
        if (at == engine->jobs.end())
            return failure(CURLE_FAILED_INIT, QStringLiteral("No such transfer"));
        job = at->second;
        if (!job->done)
            job->waiter = &loop;
    }
    if (job->waiter) {
        engine->waiting = true;
        loop.exec();
        engine->waiting = false;
    }
    bool ended = true;
    {
        std::lock_guard lock(engine->mutex);
        job->waiter = nullptr;
        engine->jobs.erase(ticket);
        ended = job->done;
    }
    if (!ended) {
        // The loop was ended from outside, for instance by the application quitting.
        job->cancel = true;
        engine->wake();
        return cancelled();
    }
    return std::move(job->result);
}

void CurlTransfer::Discard(Ticket ticket)
{
    {
        std::lock_guard lock(m_engine->mutex);
        const auto at = m_engine->jobs.find(ticket);
        if (at == m_engine->jobs.end())
            return;
        at->second->cancel = true;
        m_engine->jobs.erase(at);
    }
    m_engine->wake();
}

int CurlTransfer::RequestTimeout() const
{
    return m_timeout;
}

void CurlTransfer::SetRequestTimeout(int seconds)
{
    m_timeout = std::max(seconds, 1);
}

bool CurlTransfer::StillExecuting() const
{
    return m_engine->running > 0;
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

void CurlTransfer::SetReferrer(const QString &address)
{
    // Sent without its fragment, as a browser sends it.
    const QUrl url(address, QUrl::TolerantMode);
    m_engine->referrer = url.isValid() && !address.isEmpty()
        ? url.adjusted(QUrl::RemoveFragment | QUrl::RemoveUserInfo).toEncoded()
        : QByteArray();
}

void CurlTransfer::SetCookie(const QByteArray &netscapeLine)
{
    if (!m_engine->cookies || netscapeLine.contains('\n') || netscapeLine.contains('\r'))
        return;
    curl_easy_setopt(m_engine->cookies, CURLOPT_COOKIELIST, netscapeLine.constData());
}

void CurlTransfer::OnCookieReceived(CookieReceived handler)
{
    m_engine->cookieReceived = std::move(handler);
}

void CurlTransfer::Cancel()
{
    if (m_engine->running == 0)
        return;
    {
        std::lock_guard lock(m_engine->mutex);
        for (const auto &[ticket, job] : m_engine->jobs)
            job->cancel = true;
    }
    m_engine->wake();
}
