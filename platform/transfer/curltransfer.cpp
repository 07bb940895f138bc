#include "curltransfer.h"

#include <QEventLoop>
#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <thread>

static_assert(CurlTransfer::CancelledCode == CURLE_ABORTED_BY_CALLBACK);
static_assert(CurlTransfer::BusyCode == CURLE_RECURSIVE_API_CALL);

namespace {

constexpr const char *AllowedProtocols = "http,https,ftp";
constexpr long MaxRedirects = 10;
// How long the worker sleeps in libcurl when nothing happens; Cancel wakes it sooner.
constexpr int PollMilliseconds = 1000;

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// What one transfer gathers on the worker thread.
struct Job
{
    const std::atomic<bool> *cancel = nullptr;
    QByteArray body;
    long httpStatus = 0; // of the last response; 0 when the protocol is not HTTP
    QByteArray reason;
    bool outOfMemory = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

size_t onHeader(char *data, size_t size, size_t count, void *user)
{
    auto *job = static_cast<Job *>(user);
    const size_t length = size * count;
    const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
    // Every response of a redirect chain starts with its status line; the last one counts.
    if (line.startsWith("HTTP/")) {
        const QList<QByteArray> parts = line.split(' ');
        job->httpStatus = parts.size() > 1 ? parts.at(1).toLong() : 0;
        const qsizetype reasonStart = parts.size() > 2 ? parts.at(0).size() + parts.at(1).size() + 2 : -1;
        job->reason = reasonStart > 0 ? line.mid(reasonStart).trimmed() : QByteArray();
        job->body.clear();
    }
    return length;
}

size_t onData(char *data, size_t size, size_t count, void *user)
{
    auto *job = static_cast<Job *>(user);
    const size_t length = size * count;
    // An error page is never content: read it to keep the connection usable, drop it.
    if (job->httpStatus >= 400)
        return length;
    try {
        job->body.append(data, qsizetype(length));
    } catch (const std::bad_alloc &) {
        job->outOfMemory = true;
        return 0;
    }
    return length;
}

int onProgress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *job = static_cast<const Job *>(user);
    return job->cancel->load() ? 1 : 0;
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

QByteArray encodeAddress(const QString &address)
{
    // Spaces and non-ASCII characters are escaped the way a browser would send them.
    const QUrl url(address, QUrl::TolerantMode);
    if (url.isValid() && !url.isEmpty())
        return url.toEncoded();
    return address.toUtf8();
}

} // namespace

struct CurlTransfer::Engine
{
    CURLM *multi = nullptr; // holds the connection cache across transfers
    CURL *easy = nullptr;
    std::atomic<bool> cancel{false};
    std::atomic<bool> executing{false};
    std::thread worker;

    Engine()
    {
        initCurlOnce();
        multi = curl_multi_init();
        easy = curl_easy_init();
    }

    ~Engine()
    {
        cancel = true;
        wake();
        if (worker.joinable())
            worker.join();
        if (easy)
            curl_easy_cleanup(easy);
        if (multi)
            curl_multi_cleanup(multi);
    }

    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    void wake()
    {
        if (multi && executing)
            curl_multi_wakeup(multi);
    }

    // Runs on the worker thread.
    Result perform(const QByteArray &url, int timeoutSeconds)
    {
        if (!multi || !easy)
            return failure(CURLE_FAILED_INIT, QString::fromUtf8(curl_easy_strerror(CURLE_FAILED_INIT)));

        Job job;
        job.cancel = &cancel;
        const long timeout = timeoutSeconds;

        curl_easy_reset(easy);
        curl_easy_setopt(easy, CURLOPT_URL, url.constData());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, MaxRedirects);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, AllowedProtocols);
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, AllowedProtocols);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "Linkhauler/1.0");
        // The time-out bounds connecting and any stall, never a download that keeps moving.
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, timeout);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, timeout);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, job.errorBuffer);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &job);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onData);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &job);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &job);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);

        if (CURLMcode added = curl_multi_add_handle(multi, easy); added != CURLM_OK)
            return failure(CURLE_FAILED_INIT, QString::fromUtf8(curl_multi_strerror(added)));

        CURLcode code = CURLE_OK;
        bool finished = false;
        bool stopped = false;
        while (!finished) {
            if (cancel) {
                stopped = true;
                break;
            }
            int running = 0;
            CURLMcode step = curl_multi_perform(multi, &running);
            if (step == CURLM_OK && running == 0)
                break;
            if (step == CURLM_OK)
                step = curl_multi_poll(multi, nullptr, 0, PollMilliseconds, nullptr);
            if (step != CURLM_OK) {
                curl_multi_remove_handle(multi, easy);
                return failure(CURLE_FAILED_INIT, QString::fromUtf8(curl_multi_strerror(step)));
            }
        }
        int left = 0;
        while (CURLMsg *message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                code = message->data.result;
                finished = true;
            }
        }
        curl_multi_remove_handle(multi, easy);

        if (stopped || (code == CURLE_ABORTED_BY_CALLBACK && cancel))
            return cancelled();
        if (!finished)
            return failure(CURLE_FAILED_INIT, QString::fromUtf8(curl_easy_strerror(CURLE_FAILED_INIT)));
        if (job.outOfMemory)
            return failure(CURLE_OUT_OF_MEMORY, QString::fromUtf8(curl_easy_strerror(CURLE_OUT_OF_MEMORY)));
        if (code != CURLE_OK) {
            QString description = QString::fromUtf8(curl_easy_strerror(code));
            const QString detail = QString::fromUtf8(job.errorBuffer).trimmed();
            if (!detail.isEmpty() && detail != description)
                description += QStringLiteral(": ") + detail;
            return failure(int(code), description);
        }
        if (job.httpStatus >= 400) {
            const int status = int(job.httpStatus);
            return failure(status,
                           job.reason.isEmpty() ? QStringLiteral("HTTP error %1").arg(status)
                                                : QStringLiteral("HTTP %1 %2").arg(status).arg(QString::fromLatin1(job.reason)));
        }
        Result result;
        result.ok = true;
        result.content = std::move(job.body);
        return result;
    }
};

CurlTransfer::CurlTransfer()
    : m_engine(std::make_shared<Engine>())
{
}

CurlTransfer::~CurlTransfer()
{
    // The engine may outlive this object when a handler run by OpenURL's wait deleted it;
    // the transfer still ends here, and OpenURL returns it as cancelled.
    m_engine->cancel = true;
    m_engine->wake();
    if (m_engine->worker.joinable())
        m_engine->worker.join();
}

Transfer::Result CurlTransfer::OpenURL(const QString &address)
{
    // Only locals are used once the wait starts: a handler run by it may delete this object.
    const std::shared_ptr<Engine> engine = m_engine;
    if (engine->executing)
        return failure(BusyCode, QStringLiteral("Another transfer is still in progress"));
    engine->executing = true;
    engine->cancel = false;

    const QByteArray url = encodeAddress(address);
    const int timeout = m_timeout;
    Result result;
    std::atomic<bool> done{false};
    QEventLoop loop;
    engine->worker = std::thread([&] {
        result = engine->perform(url, timeout);
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });

    loop.exec();
    if (!done) {
        // The loop was ended from outside, for instance by the application quitting.
        engine->cancel = true;
        engine->wake();
    }
    if (engine->worker.joinable())
        engine->worker.join();
    engine->executing = false;
    return result;
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
    return m_engine->executing;
}

void CurlTransfer::Cancel()
{
    if (!m_engine->executing)
        return;
    m_engine->cancel = true;
    m_engine->wake();
}
