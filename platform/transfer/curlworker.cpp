#include "curlworker.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <new>
#include <optional>

namespace curltransfer {

// One transfer in libcurl's hands. Only the worker thread touches it; libcurl's callbacks
// get it as their user data, so it stays at one address until it is released.
struct Exchange
{
    Q_DISABLE_COPY_MOVE(Exchange)

    explicit Exchange(std::shared_ptr<Job> job) : job(std::move(job)) {}
    ~Exchange() { Release(nullptr); }

    // libcurl lets go of the transfer and the file is closed: the job may end now.
    void Release(CURLM *multi)
    {
        if (easy) {
            if (added && multi)
                curl_multi_remove_handle(multi, easy);
            curl_easy_cleanup(easy);
            easy = nullptr;
        }
        out.reset();
        curl_slist_free_all(headers);
        headers = nullptr;
    }

    const std::shared_ptr<Job> job;
    Worker *worker = nullptr;
    int tries = 0; // made before this one
    CURL *easy = nullptr;
    bool added = false; // to the multi handle
    curl_slist *headers = nullptr;
    std::unique_ptr<QFile> out;
    QByteArray body;
    qint64 bytes = 0;
    long httpStatus = 0; // of the last response; 0 when the protocol is not HTTP
    QByteArray reason;
    QByteArray retryAfter; // of the last response
    bool outOfMemory = false;
    QString writeError; // set when the file refused the body
    // When a request was last sent or a byte last came in; unset while connecting.
    std::optional<std::chrono::steady_clock::time_point> lastTraffic;
    bool stalled = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

namespace {

constexpr const char *AllowedProtocols = "http,https,ftp";
constexpr long kMaxRedirects = 10;
// How long the worker sleeps in libcurl when nothing happens; a new transfer or a cancel
// wakes it sooner.
constexpr int kPollMilliseconds = 1000;

QString CurlText(CURLcode code)
{
    return QString::fromUtf8(curl_easy_strerror(code));
}

size_t OnHeader(char *data, size_t size, size_t count, void *user)
{
    auto *exchange = static_cast<Exchange *>(user);
    const size_t length = size * count;
    exchange->lastTraffic = std::chrono::steady_clock::now();
    const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
    const auto &cookieReceived = exchange->job->request.cookieReceived;
    if (line.size() > 12 && line.left(12).toLower() == "retry-after:")
        exchange->retryAfter = line.mid(12).trimmed();
    if (line.size() > 11 && line.left(11).toLower() == "set-cookie:" && cookieReceived) {
        const char *address = nullptr;
        curl_easy_getinfo(exchange->easy, CURLINFO_EFFECTIVE_URL, &address);
        cookieReceived(line.mid(11).trimmed(), QString::fromUtf8(address ? address : ""));
    }
    // Every response of a redirect chain starts with its status line; the last one counts.
    if (line.startsWith("HTTP/")) {
        const QList<QByteArray> parts = line.split(' ');
        exchange->httpStatus = parts.size() > 1 ? parts.at(1).toLong() : 0;
        const qsizetype reasonStart = parts.size() > 2 ? parts.at(0).size() + parts.at(1).size() + 2
                                                       : -1;
        exchange->reason = reasonStart > 0 ? line.mid(reasonStart).trimmed() : QByteArray();
        exchange->retryAfter.clear();
        exchange->body.clear();
        QFile *out = exchange->out.get();
        if (out && exchange->bytes > 0 && !(out->seek(0) && out->resize(0))) {
            exchange->writeError = out->errorString();
            return 0;
        }
        exchange->bytes = 0;
    }
    return length;
}

size_t OnData(char *data, size_t size, size_t count, void *user)
{
    auto *exchange = static_cast<Exchange *>(user);
    const size_t length = size * count;
    exchange->lastTraffic = std::chrono::steady_clock::now();
    // An error page is never content: read it to keep the connection usable, drop it.
    if (exchange->httpStatus >= 400)
        return length;
    if (QFile *out = exchange->out.get()) {
        // A write cut short (a full disk) tells no reason; writing the rest then does.
        for (qint64 written = 0; written < qint64(length);) {
            const qint64 step = out->write(data + written, qint64(length) - written);
            if (step <= 0) {
                exchange->writeError = out->errorString();
                return 0;
            }
            written += step;
        }
    } else {
        try {
            exchange->body.append(data, qsizetype(length));
        } catch (const std::bad_alloc &) {
            exchange->outOfMemory = true;
            return 0;
        }
    }
    exchange->bytes += qint64(length);
    return length;
}

// Connected (or reusing a connection), the request about to go out: the stall clock starts.
// The host's next turn counts from here too: connecting may have taken a while.
int OnRequest(void *user, char *, char *, int, int)
{
    auto *exchange = static_cast<Exchange *>(user);
    exchange->lastTraffic = std::chrono::steady_clock::now();
    exchange->worker->RequestSent(exchange->job->request.host);
    return CURL_PREREQFUNC_OK;
}

// libcurl's own low-speed check averages over seconds and so ends a download that brings a
// byte a second; a stall is a time-out without any byte at all. Connecting has its own limit.
int OnProgress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *exchange = static_cast<Exchange *>(user);
    const auto now = std::chrono::steady_clock::now();
    if (exchange->lastTraffic
        && now - *exchange->lastTraffic >= std::chrono::seconds(exchange->job->request.timeout)) {
        exchange->stalled = true;
        return 1;
    }
    return 0;
}

// What a transfer that libcurl has ended with `code` amounts to.
Transfer::Result Outcome(Exchange &exchange, CURLcode code)
{
    if (exchange.out) {
        if (exchange.writeError.isEmpty() && !exchange.out->flush())
            exchange.writeError = exchange.out->errorString();
        exchange.out->close();
    }
    if (!exchange.writeError.isEmpty()) {
        Transfer::Result result = Failure(0, exchange.writeError);
        result.fileError = true;
        result.size = exchange.bytes;
        return result;
    }
    if (exchange.outOfMemory)
        return Failure(CURLE_OUT_OF_MEMORY, CurlText(CURLE_OUT_OF_MEMORY));
    if (exchange.stalled)
        return Failure(
            CURLE_OPERATION_TIMEDOUT,
            CurlText(CURLE_OPERATION_TIMEDOUT)
                + QStringLiteral(
                      ": Operation too slow. Less than 1 bytes/sec transferred the last %1 seconds")
                      .arg(exchange.job->request.timeout));
    if (code != CURLE_OK) {
        QString description = CurlText(code);
        const QString detail = QString::fromUtf8(exchange.errorBuffer).trimmed();
        if (!detail.isEmpty() && detail != description)
            description += QStringLiteral(": ") + detail;
        return Failure(int(code), description);
    }
    if (exchange.httpStatus >= 400) {
        const int status = int(exchange.httpStatus);
        return Failure(status,
                       exchange.reason.isEmpty() ? QStringLiteral("HTTP error %1").arg(status)
                                                 : QStringLiteral("HTTP %1 %2")
                                                       .arg(status)
                                                       .arg(QString::fromLatin1(exchange.reason)));
    }
    Transfer::Result result;
    result.ok = true;
    result.content = std::move(exchange.body);
    result.size = exchange.bytes;
    return result;
}

// What a failed try says about trying again: never, this transfer later, or every request to
// its host later (the server says it is overloaded or asked too often).
TryAgain AgainAfter(const Exchange &exchange, const Transfer::Result &result, CURLcode code)
{
    if (result.ok || result.fileError || exchange.outOfMemory)
        return TryAgain::Never;
    if (exchange.stalled)
        return TryAgain::Later;
    if (code != CURLE_OK) {
        // A connection refused, dropped or cut off, a time-out: the same request may get through.
        switch (code) {
        case CURLE_COULDNT_CONNECT:
        case CURLE_HTTP2:
        case CURLE_PARTIAL_FILE:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_HTTP2_STREAM:
            return TryAgain::Later;
        default:
            return TryAgain::Never;
        }
    }
    if (exchange.httpStatus == 429 || exchange.httpStatus == 503)
        return TryAgain::HostLater;
    return exchange.httpStatus >= 500 ? TryAgain::Later : TryAgain::Never;
}

CURLM *NewMulti()
{
    InitCurl();
    CURLM *multi = curl_multi_init();
    if (multi) {
        curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, long(Transfer::MaxParallel));
        curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, long(Transfer::MaxPerHost));
        // The cache otherwise shrinks with the transfers under way and closes connections
        // whenever a page's downloads run out.
        curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, long(Transfer::MaxParallel));
    }
    return multi;
}

} // namespace

Worker::Worker(CURLSH *share, PoliteSchedule &hosts)
    : m_multi(NewMulti())
    , m_share(share)
    , m_hosts(hosts)
{
}

Worker::~Worker()
{
    Stop();
    if (m_multi)
        curl_multi_cleanup(m_multi);
}

void Worker::Submit(std::shared_ptr<Job> job)
{
    if (!m_multi) {
        ++m_running;
        Settle(*job, Failure(CURLE_FAILED_INIT, CurlText(CURLE_FAILED_INIT)));
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(job));
        ++m_running;
    }
    if (!m_thread.joinable())
        m_thread = std::thread([this] { Run(); });
    Wake();
}

void Worker::Wake()
{
    if (m_multi)
        curl_multi_wakeup(m_multi);
}

void Worker::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    Wake();
    if (m_thread.joinable())
        m_thread.join();
}

int Worker::Running() const
{
    return m_running;
}

// The worker thread's loop: takes new transfers, drops cancelled ones, moves the rest.
void Worker::Run()
{
    for (;;) {
        std::vector<std::shared_ptr<Job>> queued;
        bool stopping = false;
        {
            std::lock_guard lock(m_mutex);
            queued.swap(m_queue);
            stopping = m_stopping;
        }
        for (std::shared_ptr<Job> &job : queued)
            Admit(std::move(job), stopping);
        std::erase_if(m_active, [&](const std::unique_ptr<Exchange> &exchange) {
            if (!stopping && !exchange->job->cancel)
                return false;
            End(*exchange, Cancelled());
            return true;
        });
        if (stopping) {
            for (const Waiting &waiting : m_waiting)
                Settle(*waiting.job, Cancelled());
            m_waiting.clear();
            return;
        }
        Perform(StartDue());
    }
}

// Where a queued transfer joins the transfers waiting for their host's turn, or ends before
// it has started.
void Worker::Admit(std::shared_ptr<Job> job, bool stopping)
{
    if (stopping || job->cancel) {
        Settle(*job, Cancelled());
        return;
    }
    m_waiting.push_back(Waiting{std::move(job), 0, Clock::now()});
}

std::optional<Worker::Clock::duration> Worker::StartDue()
{
    std::optional<Clock::duration> next;
    const Clock::time_point now = Clock::now();
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (it->job->cancel) {
            Settle(*it->job, Cancelled());
            it = m_waiting.erase(it);
            continue;
        }
        Clock::duration wait = it->notBefore - now;
        if (wait <= Clock::duration::zero())
            wait = m_hosts.Claim(it->job->request.host, now);
        if (wait > Clock::duration::zero()) {
            next = next ? std::min(*next, wait) : wait;
            ++it;
            continue;
        }
        std::shared_ptr<Job> job = std::move(it->job);
        const int tries = it->tries;
        it = m_waiting.erase(it);
        if (std::unique_ptr<Exchange> exchange = Begin(std::move(job), tries))
            m_active.push_back(std::move(exchange));
    }
    return next;
}

void Worker::RequestSent(const QByteArray &host)
{
    m_hosts.Ended(host, Clock::now());
}

bool Worker::Retry(Exchange &exchange, const Transfer::Result &result, CURLcode code)
{
    const TryAgain again = AgainAfter(exchange, result, code);
    std::optional<Clock::duration> asked;
    if (again == TryAgain::HostLater)
        asked = RetryAfter(exchange.retryAfter,
                           std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count());
    const Clock::time_point now = Clock::now();
    const std::optional<Clock::duration> wait = m_hosts.Retry(exchange.job->request.host,
                                                              exchange.tries, again, asked, now);
    if (!wait)
        return false;
    exchange.Release(m_multi);
    m_waiting.push_back(Waiting{exchange.job, exchange.tries + 1, now + *wait});
    return true;
}

// Hands the job to libcurl, or ends it when it cannot start.
std::unique_ptr<Exchange> Worker::Begin(std::shared_ptr<Job> job, int tries)
{
    auto exchange = std::make_unique<Exchange>(std::move(job));
    exchange->tries = tries;
    exchange->worker = this;
    const Job::Request &request = exchange->job->request;
    if (!request.file.isEmpty()) {
        exchange->out = std::make_unique<QFile>(request.file);
        // The file must still be there: a caller that gave it up has removed it. Unbuffered,
        // so that a write that fails is the one that reports why.
        if (!exchange->out->open(QIODevice::WriteOnly | QIODevice::ExistingOnly
                                 | QIODevice::Truncate | QIODevice::Unbuffered)) {
            Transfer::Result result = Failure(0, exchange->out->errorString());
            result.fileError = true;
            End(*exchange, std::move(result));
            return nullptr;
        }
    }
    CURL *easy = curl_easy_init();
    if (!easy) {
        End(*exchange, Failure(CURLE_FAILED_INIT, CurlText(CURLE_FAILED_INIT)));
        return nullptr;
    }
    exchange->easy = easy;
    if (!request.acceptLanguage.isEmpty())
        exchange->headers = curl_slist_append(
            nullptr, ("Accept-Language: " + request.acceptLanguage).constData());
    Exchange *user = exchange.get();
    curl_easy_setopt(easy, CURLOPT_PRIVATE, user);
    curl_easy_setopt(easy, CURLOPT_URL, request.url.constData());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, AllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, AllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_SHARE, m_share);
    // An empty cookie file reads nothing but switches the cookie engine on.
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.constData());
    if (!request.referrer.isEmpty())
        curl_easy_setopt(easy, CURLOPT_REFERER, request.referrer.constData());
    if (exchange->headers)
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, exchange->headers);
    // The time-out bounds connecting and any stall, never a download that keeps moving.
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, request.timeout);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &OnRequest);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, user);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, user);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, exchange->errorBuffer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, user);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, user);
    if (CURLMcode added = curl_multi_add_handle(m_multi, easy); added != CURLM_OK) {
        End(*exchange, Failure(CURLE_FAILED_INIT, QString::fromUtf8(curl_multi_strerror(added))));
        return nullptr;
    }
    exchange->added = true;
    return exchange;
}

// Moves every running transfer as far as it goes, ends those libcurl has finished, then
// sleeps in libcurl until there is traffic, news from the caller, or the poll's time is up.
void Worker::Perform(std::optional<Clock::duration> nextDue)
{
    int still = 0;
    CURLMcode step = curl_multi_perform(m_multi, &still);
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        Exchange *ended = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &ended);
        const CURLcode code = message->data.result;
        auto at = std::find_if(m_active.begin(), m_active.end(),
                               [ended](const auto &exchange) { return exchange.get() == ended; });
        if (at == m_active.end())
            continue;
        const std::unique_ptr<Exchange> exchange = std::move(*at);
        m_active.erase(at);
        // A cancel that came while libcurl was ending it still wins.
        if (exchange->job->cancel) {
            End(*exchange, Cancelled());
            continue;
        }
        Transfer::Result result = Outcome(*exchange, code);
        if (!Retry(*exchange, result, code))
            End(*exchange, std::move(result));
    }
    int pollMs = kPollMilliseconds;
    if (nextDue)
        pollMs = int(std::clamp<qint64>(
            std::chrono::ceil<std::chrono::milliseconds>(*nextDue).count(), 1, kPollMilliseconds));
    if (step == CURLM_OK)
        step = curl_multi_poll(m_multi, nullptr, 0, pollMs, nullptr);
    if (step != CURLM_OK) {
        for (const std::unique_ptr<Exchange> &exchange : m_active)
            End(*exchange,
                Failure(CURLE_FAILED_INIT, QString::fromUtf8(curl_multi_strerror(step))));
        m_active.clear();
    }
}

void Worker::End(Exchange &exchange, Transfer::Result result)
{
    exchange.Release(m_multi);
    Settle(*exchange.job, std::move(result));
}

// The job has ended: tell whoever waits for it. (On the caller's thread only when there is no
// multi handle and so no worker.)
void Worker::Settle(Job &job, Transfer::Result result)
{
    job.Finish(std::move(result), m_running);
}

} // namespace curltransfer
