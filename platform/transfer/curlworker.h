#pragma once

#include "curljob.h"

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace curltransfer {

struct Exchange;

// The worker side of CurlTransfer: one thread that owns libcurl's multi handle (with it the
// connections kept between transfers and the name lookups) and the easy handle of every
// running transfer. The caller's thread hands jobs over with submit(): the queue and the stop
// flag sit under one lock, and curl_multi_wakeup cuts the worker's poll short whenever there
// is news (a job, a cancel flag, the stop).
class Worker final
{
    Q_DISABLE_COPY_MOVE(Worker)

public:
    // `share`, the cookies and TLS sessions of every transfer, must outlive the worker.
    explicit Worker(CURLSH *share);
    ~Worker();

    // Caller's thread. Queues the job, starting the thread with the first one; without a
    // multi handle the job ends at once as failed.
    void submit(std::shared_ptr<Job> job);
    // A job's cancel flag was set: the worker looks at once.
    void wake();
    // Every job, queued or running, ends as cancelled, and the thread ends.
    void stop();
    // Submitted and not yet ended; read from any thread.
    int running() const;

private:
    // Worker thread.
    void run();
    void admit(std::shared_ptr<Job> job, bool stopping);
    std::unique_ptr<Exchange> begin(std::shared_ptr<Job> job);
    void perform();
    void end(Exchange &exchange, Transfer::Result result);
    void settle(Job &job, Transfer::Result result);

    CURLM *const m_multi;
    CURLSH *const m_share;
    std::thread m_thread; // started and joined by the caller's thread

    std::mutex m_mutex;                        // guards m_queue and m_stopping
    std::vector<std::shared_ptr<Job>> m_queue; // submitted, not yet taken by the worker
    bool m_stopping = false;
    std::atomic<int> m_running{0};

    std::vector<std::unique_ptr<Exchange>> m_active; // worker thread only
};

} // namespace curltransfer
