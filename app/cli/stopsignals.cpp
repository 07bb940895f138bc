#include "stopsignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The pipe stays open for the life of the process: a handler that runs after the catcher has
// gone must not write into a descriptor that has been given to another file meanwhile.
int pipeEnds[2] = {-1, -1};
std::atomic<int> caught = 0;

void OnStopSignal(int signal)
{
    const int savedErrno = errno;
    int none = 0;
    caught.compare_exchange_strong(none, signal);
    const char byte = 1;
    // A full pipe holds enough bytes to wake the reader already.
    [[maybe_unused]] const auto written = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

bool MakePipe()
{
    if (pipeEnds[0] >= 0)
        return true;
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeEnds[0] = pipeEnds[1] = -1;
        return false;
    }
    return true;
}

} // namespace

StopSignals::StopSignals(std::function<void()> stop) : m_stop(std::move(stop))
{
    if (!MakePipe())
        return;
    m_notifier = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[64];
        while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {}
        if (m_stop)
            m_stop();
    });
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals)
        sigaction(signal, &action, nullptr);
}

StopSignals::~StopSignals() = default;

int StopSignals::Caught()
{
    return caught.load();
}

void StopSignals::EndBy(int signal)
{
    std::signal(signal, SIG_DFL);
    // The engine's threads may block it; this one must not, or raise would only queue it.
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(signal);
}
