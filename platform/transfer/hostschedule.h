#pragma once

#include "tryagain.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <chrono>
#include <mutex>
#include <optional>

// When a request may go to its host, and when one that failed goes again. The transfer's
// downloads and the browser's page loads take their turns from the same schedule.
class HostSchedule
{
public:
    virtual ~HostSchedule() = default;

    // A request to the address's host asks for its turn: 0 when it may go now (its start then
    // counting from now); otherwise how many milliseconds to wait before asking again.
    virtual qint64 TakeTurn(const QString &address) = 0;
    // A request to the host has gone out or is over: the host's next turn counts from now.
    virtual void RequestEnded(const QString &address) = 0;
    // A request that failed after `tries` further tries: how many milliseconds to wait before it
    // goes again, or -1 when it does not. HostLater holds every request to the host that long.
    virtual qint64 RetryDelay(const QString &address, int tries, TryAgain again) = 0;
};

// The host an address's requests are counted against: its name, in lower case.
QByteArray HostOf(const QString &address);

// The schedule under a politeness toward each host, for requests made on any thread. Without
// politeness every request goes at once and is tried once.
class PoliteSchedule final : public HostSchedule
{
public:
    using Clock = std::chrono::steady_clock;

    struct Politeness
    {
        int delayMs = 0; // at least this long between the starts of two requests to one host
        // Further tries of a request cut off, timed out, or answered with a 5xx or a 429.
        int retries = 0;
    };

    PoliteSchedule() = default;
    Q_DISABLE_COPY_MOVE(PoliteSchedule)

    void SetPoliteness(const Politeness &politeness);

    qint64 TakeTurn(const QString &address) override;
    void RequestEnded(const QString &address) override;
    qint64 RetryDelay(const QString &address, int tries, TryAgain again) override;

    // The same, by HostOf and on the caller's clock. Claim: the time until the host is due, zero
    // when it is (its start then counts from `now`).
    Clock::duration Claim(const QByteArray &host, Clock::time_point now);
    void Ended(const QByteArray &host, Clock::time_point now);
    // None when the request is not tried again. `asked`, the server's own Retry-After, replaces
    // the backoff of a HostLater, up to an hour.
    std::optional<Clock::duration> Retry(const QByteArray &host, int tries, TryAgain again,
                                         std::optional<Clock::duration> asked,
                                         Clock::time_point now);

private:
    struct Host
    {
        std::optional<Clock::time_point> lastStart;
        Clock::time_point heldUntil; // a 429 or 503 holds every request to the host
    };

    std::mutex m_mutex; // guards everything below
    Politeness m_politeness;
    QHash<QByteArray, Host> m_hosts;
};
