#pragma once

#include <QtGlobal>

#include <chrono>
#include <optional>

// A bandwidth cap that every running transfer shares: each spends the bytes it receives from
// one budget that refills at the cap, and one that finds the budget spent waits (paused) until
// it has refilled. A transfer may overdraw by what it received in one go; the next ones then
// wait that much longer, so over any stretch of time the sum keeps to the cap.
class RateBudget final
{
public:
    using Clock = std::chrono::steady_clock;

    // Bytes per second; 0 or less: no cap.
    void SetRate(qint64 bytesPerSecond, Clock::time_point now);
    qint64 Rate() const { return m_rate; }

    // Whether `bytes` that came in may be taken now; if so, they are spent.
    bool Spend(qint64 bytes, Clock::time_point now);
    // Whether a transfer that waits may go on now.
    bool Available(Clock::time_point now);
    // How long until a waiting transfer may go on.
    Clock::duration UntilAvailable(Clock::time_point now);

private:
    void Refill(Clock::time_point now);

    qint64 m_rate = 0;
    double m_budget = 0; // bytes; below zero after an overdraft
    Clock::time_point m_refilled;
};
