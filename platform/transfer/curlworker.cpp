#include "curlworker.h"

#include "curlexchange.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace curltransfer {

namespace {

// How long the worker sleeps in libcurl when nothing happens; a new transfer or a cancel
// wakes it sooner.
constexpr int kPollMilliseconds = 1000;

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

template<typename Duration>
void Sooner(std::optional<Duration> &next, Duration wait)
{
    next = next ? std::min(*next, wait) : wait;
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

void Worker::SetRate(qint64 bytesPerSecond)
{
    m_rate = std::max<qint64>(bytesPerSecond, 0);
    Wake();
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
        m_budget.SetRate(m_rate, Clock::now());
        for (std::shared_ptr<Job> &job : queued)
            Admit(std::move(job), stopping);
        std::optional<Clock::duration> next = EndDue(stopping);
        if (stopping) {
            for (const Waiting &waiting : m_waiting)
                Settle(*waiting.job, Cancelled());
            m_waiting.clear();
            return;
        }
        if (const auto wait = StartDue())
            Sooner(next, *wait);
        if (const auto wait = Resume())
            Sooner(next, *wait);
        Perform(next);
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
    if (!job->request.fileError.isEmpty()) {
        Transfer::Result result = Failure(0, job->request.fileError);
        result.fileError = true;
        Settle(*job, std::move(result));
        return;
    }
    m_waiting.push_back(Waiting{std::move(job), 0, Clock::now(), std::nullopt});
}

std::optional<Worker::Clock::duration> Worker::EndDue(bool stopping)
{
    std::optional<Clock::duration> next;
    const Clock::time_point now = Clock::now();
    std::erase_if(m_active, [&](const std::unique_ptr<Exchange> &exchange) {
        if (stopping || exchange->job->cancel) {
            End(*exchange, Cancelled());
            return true;
        }
        if (!exchange->deadline)
            return false;
        if (now >= *exchange->deadline) {
            End(*exchange, OverTime(*exchange->job));
            return true;
        }
        Sooner(next, *exchange->deadline - now);
        return false;
    });
    return next;
}

std::optional<Worker::Clock::duration> Worker::StartDue()
{
    std::optional<Clock::duration> next;
    const Clock::time_point now = Clock::now();
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (it->job->cancel || (it->deadline && now >= *it->deadline)) {
            Settle(*it->job, it->job->cancel ? Cancelled() : OverTime(*it->job));
            it = m_waiting.erase(it);
            continue;
        }
        Clock::duration wait = it->notBefore - now;
        if (wait <= Clock::duration::zero())
            wait = m_hosts.Claim(it->job->request.host, now);
        if (wait > Clock::duration::zero()) {
            if (it->deadline)
                wait = std::min<Clock::duration>(wait, *it->deadline - now);
            Sooner(next, wait);
            ++it;
            continue;
        }
        Waiting waiting = std::move(*it);
        it = m_waiting.erase(it);
        if (std::unique_ptr<Exchange> exchange = Begin(std::move(waiting))) {
            if (exchange->deadline)
                Sooner(next, *exchange->deadline - now);
            m_active.push_back(std::move(exchange));
        }
    }
    return next;
}

std::optional<Worker::Clock::duration> Worker::Resume()
{
    const Clock::time_point now = Clock::now();
    const size_t count = m_active.size();
    bool waits = false;
    for (size_t i = 0; i < count && !m_active.empty(); ++i) {
        const size_t at = (m_resumeFrom + i) % m_active.size();
        Exchange &exchange = *m_active.at(at);
        if (!exchange.paused)
            continue;
        if (!m_budget.Available(now)) {
            waits = true;
            continue;
        }
        exchange.paused = false;
        exchange.lastTraffic = now;
        m_resumeFrom = at + 1;
        // libcurl may hand the bytes it kept right away, and the transfer may end with them.
        if (const CURLcode code = curl_easy_pause(exchange.easy, CURLPAUSE_CONT);
            code != CURLE_OK) {
            std::unique_ptr<Exchange> ended = std::move(m_active.at(at));
            m_active.erase(m_active.begin() + qsizetype(at));
            HopEnded(std::move(ended), code);
        }
    }
    if (!waits)
        return std::nullopt;
    return m_budget.UntilAvailable(Clock::now());
}

void Worker::RequestSent(const QByteArray &host)
{
    m_hosts.Ended(host, Clock::now());
}

bool Worker::TakeBandwidth(qint64 bytes, Clock::time_point now)
{
    return m_budget.Spend(bytes, now);
}

void Worker::HopEnded(std::unique_ptr<Exchange> exchange, CURLcode code)
{
    // A cancel that came while libcurl was ending it still wins.
    if (exchange->job->cancel) {
        End(*exchange, Cancelled());
        return;
    }
    if (code == CURLE_OK && exchange->Redirected()) {
        exchange->EndHop(m_multi);
        Transfer::Result refused;
        const std::optional<QByteArray> next = exchange->NextHop(refused);
        if (!next) {
            End(*exchange, std::move(refused));
            return;
        }
        ++exchange->hops;
        if (std::optional<Transfer::Result> failed = exchange->StartHop(m_multi, *next)) {
            End(*exchange, std::move(*failed));
            return;
        }
        m_active.push_back(std::move(exchange));
        return;
    }
    Transfer::Result result = Outcome(*exchange, code);
    if (!Retry(*exchange, result, code))
        End(*exchange, std::move(result));
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
    // A busy server that a redirect led to holds its own host.
    const std::optional<Clock::duration> wait = m_hosts.Retry(exchange.host, exchange.tries, again,
                                                              asked, now);
    // A further try that could only begin once the transfer's time is up is none.
    if (!wait || (exchange.deadline && now + *wait >= *exchange.deadline))
        return false;
    exchange.Release(m_multi);
    m_waiting.push_back(Waiting{exchange.job, exchange.tries + 1, now + *wait, exchange.deadline});
    return true;
}

// Hands the job to libcurl, or ends it when it cannot start.
std::unique_ptr<Exchange> Worker::Begin(Waiting waiting)
{
    auto exchange = std::make_unique<Exchange>(std::move(waiting.job), this, waiting.tries);
    exchange->deadline = waiting.deadline;
    if (const auto most = exchange->job->request.maxTime;
        !exchange->deadline && most > std::chrono::milliseconds::zero())
        exchange->deadline = Clock::now() + most;
    if (std::optional<Transfer::Result> failed = exchange->Begin(m_share, m_multi)) {
        End(*exchange, std::move(*failed));
        return nullptr;
    }
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
        std::unique_ptr<Exchange> exchange = std::move(*at);
        m_active.erase(at);
        HopEnded(std::move(exchange), code);
    }
    // Transfers that have just paused for the bandwidth go on as soon as it has refilled.
    if (std::any_of(m_active.begin(), m_active.end(),
                    [](const auto &exchange) { return exchange->paused; }))
        Sooner(nextDue, m_budget.UntilAvailable(Clock::now()));
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
