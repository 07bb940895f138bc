#pragma once

#include "curljob.h"
#include "hostschedule.h"

#include <curl/curl.h>

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace curltransfer {

struct Exchange;

// The worker side of CurlTransfer: one thread that owns libcurl's multi handle (with it the
// connections kept between transfers and the name lookups) and the easy handle of every
// running transfer. The caller's thread hands jobs over with Submit(): the queue and the stop
// flag sit under one lock, and curl_multi_wakeup cuts the worker's poll short whenever there
// is news (a job, a cancel flag, the stop). Each transfer waits for its host's turn in the
// schedule, and one that may succeed later is tried again after a while.
class Worker final
{
    Q_DISABLE_COPY_MOVE(Worker)

public:
    // `share`, the cookies and TLS sessions of every transfer, and `hosts`, the turns of each
    // host, must outlive the worker.
    Worker(CURLSH *share, PoliteSchedule &hosts);
    ~Worker();

    // Caller's thread. Queues the job, starting the thread with the first one; without a
    // multi handle the job ends at once as failed.
    void Submit(std::shared_ptr<Job> job);
    // A job's cancel flag was set: the worker looks at once.
    void Wake();
    // Every job, queued or running, ends as cancelled, and the thread ends.
    void Stop();
    // Submitted and not yet ended; read from any thread.
    int Running() const;

    // Worker thread: the request of a transfer has gone out.
    void RequestSent(const QByteArray &host);

private:
    using Clock = std::chrono::steady_clock;
    // A transfer waiting to start, or to start again.
    struct Waiting
    {
        std::shared_ptr<Job> job;
        int tries = 0; // made so far
        Clock::time_point notBefore;
    };
    // Worker thread.
    void Run();
    void Admit(std::shared_ptr<Job> job, bool stopping);
    // Starts the waiting transfers that are due; the time until the next one is.
    std::optional<Clock::duration> StartDue();
    // The transfer ended with `result`: true when it waits to be tried again instead.
    bool Retry(Exchange &exchange, const Transfer::Result &result, CURLcode code);
    std::unique_ptr<Exchange> Begin(std::shared_ptr<Job> job, int tries);
    void Perform(std::optional<Clock::duration> nextDue);
    void End(Exchange &exchange, Transfer::Result result);
    void Settle(Job &job, Transfer::Result result);

    CURLM *const m_multi;
    CURLSH *const m_share;
    std::thread m_thread; // started and joined by the caller's thread

    std::mutex m_mutex;                        // guards m_queue and m_stopping
    std::vector<std::shared_ptr<Job>> m_queue; // submitted, not yet taken by the worker
    bool m_stopping = false;
    std::atomic<int> m_running{0};

    PoliteSchedule &m_hosts; // shared with the caller's thread, under its own lock

    std::vector<std::unique_ptr<Exchange>> m_active; // worker thread only
    std::vector<Waiting> m_waiting;                  // worker thread only
};

} // namespace curltransfer
