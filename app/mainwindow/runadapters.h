#pragma once

#include "runports.h"

#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

class LogList;
class Prompts;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;

// The main window's controls that a run drives. Not owned.
struct RunControls
{
    QPushButton *cmdGo = nullptr;
    QPushButton *cmdStop = nullptr;
    QTabWidget *tabMain = nullptr;
    LogList *lstLog = nullptr;
    QStatusBar *staMain = nullptr;
    QLabel *lblLocation = nullptr;
    QPlainTextEdit *rtfCode = nullptr;
    QListWidget *lstCode = nullptr;
};

// A run's view on the main window's widgets. The run sets texts far more often than a
// screen can show them, and every nested event loop of the run would paint each change:
// so texts and log lines wait here and go to the widgets at most every kFlushMs, in one
// go, and at once before anything the user has to see (a question, Go and Stop changing,
// the page switch, the end).
class WidgetRunView final : public RunView
{
public:
    static constexpr int kFlushMs = 30;

    explicit WidgetRunView(const RunControls &controls);
    // A window that goes away in the middle of a run must not leave the hourglass behind.
    ~WidgetRunView() override;
    Q_DISABLE_COPY_MOVE(WidgetRunView)

    // Writes everything still waiting to the widgets now. Call it before writing one of
    // them directly, or a waiting value would overwrite the direct write.
    void Flush();

    void SetGoEnabled(bool enabled) override;
    void SetStopEnabled(bool enabled) override;
    void SetBusyPointer(bool busy) override;
    void ShowStatusPage() override;
    int LogLineCount() const override;
    void ClearLog() override;
    void AppendLogLine(const QString &line) override;
    void SetStatusText(const QString &text) override;
    void SetLocationCaption(const QString &text) override;
    void SetSourceText(const QString &text) override;
    void SetCodeList(const QStringList &links) override;

private:
    struct Pending
    {
        std::optional<QString> status;
        std::optional<QString> caption;
        std::optional<QString> source;
        std::optional<QStringList> codeList;
        QStringList logLines;

        bool empty() const
        {
            return !status && !caption && !source && !codeList && logLines.isEmpty();
        }
    };
    void Schedule();

    RunControls m_controls;
    bool m_busy = false;
    Pending m_pending;
    QTimer m_flushTimer;
};

// The run's "Error" question, asked through whatever boxes the window uses at the time
// (a test may have swapped them), over a view that shows the failure's state.
class PromptsRunPrompt final : public RunPrompt
{
public:
    PromptsRunPrompt(std::function<Prompts &()> prompts, WidgetRunView &view)
        : m_prompts(std::move(prompts))
        , m_view(view)
    {
    }
    Q_DISABLE_COPY_MOVE(PromptsRunPrompt)

    bool AskContinue(const QString &text) override;

private:
    std::function<Prompts &()> m_prompts;
    WidgetRunView &m_view;
};
