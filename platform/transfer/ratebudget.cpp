#include "ratebudget.h"

#include <algorithm>

namespace {

// The budget saves up at most this much of the cap, so that after a quiet while the
// transfers do not rush ahead of it.
constexpr double kMostSavedSeconds = 0.1;

} // namespace

void RateBudget::SetRate(qint64 bytesPerSecond, Clock::time_point now)
{
    const qint64 rate = std::max<qint64>(bytesPerSecond, 0);
    if (rate == m_rate)
        return;
    m_rate = rate;
    m_budget = 0;
    m_refilled = now;
}

void RateBudget::Refill(Clock::time_point now)
{
    if (now <= m_refilled)
        return;
    const double seconds = std::chrono::duration<double>(now - m_refilled).count();
    m_budget = std::min(m_budget + seconds * double(m_rate), kMostSavedSeconds * double(m_rate));
    m_refilled = now;
}

bool RateBudget::Spend(qint64 bytes, Clock::time_point now)
{
    if (m_rate == 0)
        return true;
    if (!Available(now))
        return false;
    m_budget -= double(bytes);
    return true;
}

bool RateBudget::Available(Clock::time_point now)
{
    if (m_rate == 0)
        return true;
    Refill(now);
    return m_budget > 0;
}

RateBudget::Clock::duration RateBudget::UntilAvailable(Clock::time_point now)
{
    if (Available(now))
        return Clock::duration::zero();
    // Refilled a little past zero, so that the waiting transfer finds something to spend.
    const double seconds = (1.0 - m_budget) / double(m_rate);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds))
        + std::chrono::nanoseconds(1);
}
