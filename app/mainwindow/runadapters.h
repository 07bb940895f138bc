#pragma once

#include "runports.h"

#include <functional>

class LogList;
class Prompts;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class WebBrowser;

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

// A run's view on the main window's widgets.
class WidgetRunView final : public RunView
{
public:
    explicit WidgetRunView(const RunControls &controls) : m_controls(controls) {}
    // A window that goes away in the middle of a run must not leave the hourglass behind.
    ~WidgetRunView() override;
    Q_DISABLE_COPY_MOVE(WidgetRunView)

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
    RunControls m_controls;
    bool m_busy = false;
};

// The page browser of a run: the window's WebBrowser.
class WebPageBrowser final : public PageBrowser
{
public:
    explicit WebPageBrowser(WebBrowser &browser) : m_browser(browser) {}
    Q_DISABLE_COPY_MOVE(WebPageBrowser)

    void Navigate(const QString &address) override;
    QString LocationURL() const override;
    void RequestMarkup(std::function<void(const QString &markup)> deliver) override;

private:
    WebBrowser &m_browser;
};

// The run's "Error" question, asked through whatever boxes the window uses at the time
// (a test may have swapped them).
class PromptsRunPrompt final : public RunPrompt
{
public:
    explicit PromptsRunPrompt(std::function<Prompts &()> prompts) : m_prompts(std::move(prompts)) {}
    Q_DISABLE_COPY_MOVE(PromptsRunPrompt)

    bool AskContinue(const QString &text) override;

private:
    std::function<Prompts &()> m_prompts;
};
