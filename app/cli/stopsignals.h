#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

// SIGINT, SIGTERM and SIGHUP act as Stop does: each reaches the event loop through a pipe, so
// that the run stops between two of its steps, never in the middle of one. Once the run has
// ended and told what it did, the program ends by the first of them, as it would have without
// catching it, so that a shell sees 130, 143 or 129 and a loop around the program stops.
class StopSignals final : public QObject
{
    Q_OBJECT

public:
    // Catches the three from now on; `stop` is called on the event loop for each one caught.
    // The browser engine resets signal handling while its first view is built: make this
    // after that.
    explicit StopSignals(std::function<void()> stop);
    ~StopSignals() override;
    Q_DISABLE_COPY_MOVE(StopSignals)

    // False when the pipe could not be made; nothing is caught then.
    bool Catching() const { return m_notifier != nullptr; }

    // The first signal caught in this process; 0 for none.
    static int Caught();
    // Ends the process by the signal with its default action. Returns only when the signal
    // did not end it, which should not happen.
    static void EndBy(int signal);

private:
    std::function<void()> m_stop;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
