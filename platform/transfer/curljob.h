#pragma once

#include "curltransfer.h"
#include "transfer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

class QEventLoop;

// What the two threads of CurlTransfer hand each other. The caller's thread (the one that
// calls Start, Finish and Cancel) builds a Job and queues it on the worker; the worker
// thread alone drives libcurl and hands the outcome back through the same Job.
namespace curltransfer {

// curl_global_init, once per process, before the first handle of either side.
void InitCurl();

Transfer::Result Failure(int code, const QString &description);
Transfer::Result Cancelled();

// How long a Retry-After value (whole seconds, or an HTTP date) asks to wait from `now`, in
// milliseconds since the epoch; none when it says neither.
std::optional<std::chrono::milliseconds> RetryAfter(const QByteArray &value, qint64 nowMs);

// One transfer. The request is fixed before the job is queued and only read afterwards;
// `cancel` is the caller's word to the worker; the outcome comes back under the job's own
// lock, and a quit queued to the caller's waiting loop is the wake-up.
class Job final
{
    Q_DISABLE_COPY_MOVE(Job)

public:
    struct Request
    {
        QByteArray url;
        QByteArray host; // HostOf the address, for its turns
        // Set when the file that was to receive the body could not be had: the job fails so.
        QString fileError;
        long timeout = 0;
        QByteArray userAgent, acceptLanguage;
        QList<QByteArray> headers; // each IsExtraHeader: the component's, then the request's
        QUrl page;                 // whose link is fetched: each hop's Referer follows from it
        qint64 maxBytes = 0;
        QString maxBytesText;
        std::chrono::milliseconds maxTime{0};
        // Worker thread: hands a Set-Cookie value and the answering address on.
        std::function<void(QByteArray, QString)> cookieReceived;
        // Worker thread: hands the report of a request that ended on.
        std::function<void(CurlTransfer::RequestReport)> reported;
    };

    // `out`, when 0 or more: the job's own descriptor of the file that receives the body.
    Job(Request request, int out) : request(std::move(request)), m_out(out) {}
    ~Job();

    const Request request;
    std::atomic<bool> cancel{false};

    // Worker thread once queued (the caller's before): the descriptor, -1 for none.
    int Out() const { return m_out; }

    // Worker thread, once: the transfer has ended; the caller's wait, if any, ends too. The
    // file is closed first, so that nothing is written to it once the caller has the result.
    // `running`, the worker's count, drops under the job's lock just before that wake-up.
    void Finish(Transfer::Result result, std::atomic<int> &running);
    // Caller's thread: `loop` is the one Finish() quits. False when the job has ended already.
    bool WaitWith(QEventLoop *loop);
    // Caller's thread, after the wait: the outcome, or nothing when the job has not ended.
    std::optional<Transfer::Result> Take();

private:
    int m_out = -1;
    std::mutex m_mutex;
    bool m_done = false;
    Transfer::Result m_result;
    QEventLoop *m_waiter = nullptr;
};

} // namespace curltransfer
