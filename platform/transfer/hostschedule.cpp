#include "hostschedule.h"

#include <QRandomGenerator>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

// Waits before another try double from this, up to the longest.
constexpr double kFirstBackoffSeconds = 1;
constexpr double kLongestBackoffSeconds = 60;
// A host asking for more than this is held this long.
constexpr auto kLongestHold = std::chrono::hours(1);

// 1, 2, 4, 8 ... seconds after each try, a quarter more at random so that requests that failed
// together do not come back together, never beyond the longest.
PoliteSchedule::Clock::duration Backoff(int tries)
{
    const double base = kFirstBackoffSeconds * std::ldexp(1.0, std::clamp(tries, 0, 16));
    const double jitter = 1.0 + 0.25 * QRandomGenerator::global()->generateDouble();
    return std::chrono::duration_cast<PoliteSchedule::Clock::duration>(
        std::chrono::duration<double>(std::min(base * jitter, kLongestBackoffSeconds)));
}

qint64 CeilMs(PoliteSchedule::Clock::duration wait)
{
    return std::chrono::ceil<std::chrono::milliseconds>(wait).count();
}

} // namespace

QByteArray HostOf(const QString &address)
{
    return QUrl(address, QUrl::TolerantMode).host(QUrl::FullyEncoded).toLower().toUtf8();
}

void PoliteSchedule::SetPoliteness(const Politeness &politeness)
{
    std::lock_guard lock(m_mutex);
    m_politeness = politeness;
}

PoliteSchedule::Clock::duration PoliteSchedule::Claim(const QByteArray &host, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    Host &entry = m_hosts[host];
    Clock::time_point due = entry.heldUntil;
    if (entry.lastStart)
        due = std::max(due, *entry.lastStart + std::chrono::milliseconds(m_politeness.delayMs));
    if (due > now)
        return due - now;
    entry.lastStart = now;
    return Clock::duration::zero();
}

void PoliteSchedule::Ended(const QByteArray &host, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    Host &entry = m_hosts[host];
    entry.lastStart = std::max(entry.lastStart.value_or(Clock::time_point()), now);
}

std::optional<PoliteSchedule::Clock::duration> PoliteSchedule::Retry(
    const QByteArray &host, int tries, TryAgain again, std::optional<Clock::duration> asked,
    Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    if (again == TryAgain::Never || tries >= m_politeness.retries)
        return std::nullopt;
    Clock::duration wait = Backoff(tries);
    if (again == TryAgain::HostLater) {
        if (asked)
            wait = std::min<Clock::duration>(*asked, kLongestHold);
        Host &entry = m_hosts[host];
        entry.heldUntil = std::max(entry.heldUntil, now + wait);
    }
    return wait;
}

qint64 PoliteSchedule::TakeTurn(const QString &address)
{
    const Clock::duration wait = Claim(HostOf(address), Clock::now());
    return wait > Clock::duration::zero() ? std::max<qint64>(1, CeilMs(wait)) : 0;
}

void PoliteSchedule::RequestEnded(const QString &address)
{
    Ended(HostOf(address), Clock::now());
}

qint64 PoliteSchedule::RetryDelay(const QString &address, int tries, TryAgain again)
{
    const std::optional<Clock::duration> wait = Retry(HostOf(address), tries, again, std::nullopt,
                                                      Clock::now());
    return wait ? CeilMs(*wait) : -1;
}
