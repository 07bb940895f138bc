#pragma once

#include "commandline.h"
#include "runports.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// One line on a terminal's standard error that redraws in place. Whatever else is written
// to the terminal erases it first; it comes back at the next tick. Off a terminal (cron, a
// container's log) where nothing redraws, a line of its own every so often instead.
class ProgressLine final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kTickMs = 250;

    // `text` is asked for the line at every tick. Draws nothing unless `fd` is a terminal or
    // `everySeconds`, the time between two lines of their own elsewhere, is above 0.
    ProgressLine(int fd, std::function<QString()> text, int everySeconds = 0);
    ~ProgressLine() override;
    Q_DISABLE_COPY_MOVE(ProgressLine)

    bool Enabled() const { return m_enabled; }
    // True where the line redraws in place.
    bool OnTerminal() const { return m_terminal; }
    void Start();
    // Takes the line off the terminal while `write` writes to it, then draws it again.
    void Around(const std::function<void()> &write);
    void Stop();

private:
    void Draw();
    void Erase();

    int m_fd;
    bool m_terminal;
    bool m_enabled;
    bool m_shown = false;
    std::function<QString()> m_text;
    QTimer m_timer;
};

// The run's view on a console: log lines go to standard output (none with --json); the
// window's other controls have no counterpart.
class ConsoleRunView final : public RunView
{
public:
    using Sink = std::function<void(const QByteArray &line)>;

    // `out` receives each line with its line feed; none writes no log lines.
    explicit ConsoleRunView(Sink out) : m_out(std::move(out)) {}
    Q_DISABLE_COPY_MOVE(ConsoleRunView)

    void SetGoEnabled(bool) override {}
    void SetStopEnabled(bool) override {}
    void SetBusyPointer(bool) override {}
    void ShowStatusPage() override {}
    // A stream is not a list with a limit: clearing it only restarts the count.
    int LogLineCount() const override { return m_lines; }
    void ClearLog() override { m_lines = 0; }
    void AppendLogLine(const QString &line) override;
    void SetStatusText(const QString &) override {}
    void SetLocationCaption(const QString &) override {}
    void SetSourceText(const QString &) override {}
    void SetCodeList(const QStringList &) override {}

private:
    Sink m_out;
    int m_lines = 0;
};

// The "Error" question answered by the policy, at once.
class PolicyPrompt final : public RunPrompt
{
public:
    explicit PolicyPrompt(ErrorPolicy policy) : m_policy(policy) {}
    Q_DISABLE_COPY_MOVE(PolicyPrompt)

    bool AskContinue(const QString &) override;
    // True once a failure has ended the run.
    bool EndedRun() const { return m_endedRun; }

private:
    ErrorPolicy m_policy;
    bool m_endedRun = false;
};
