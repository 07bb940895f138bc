#pragma once

#include "downloadsahead.h"
#include "linksteps.h"
#include "lookahead.h"
#include "pageloader.h"
#include "runcontrol.h"
#include "runports.h"
#include "seriescursor.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

// The host (the main window) wires a run like this:
// - cmdGo_Click calls Go(), cmdStop_Click calls Stop(), the window's close calls Close().
//   ErrorCheck is handed in through RunPorts::errorCheck; Go() calls it.
// - Every finished load of Browser, inside or outside a run, calls LoadEnded with its
//   outcome. The run then sets lblLocation (through RunView) and asks
//   PageBrowser::RequestMarkup for the document's markup; that is the whole
//   DownloadComplete handler.

// One scrape run at a time, from Go to the last log line: the walk of the page series, each
// page's links, and the browser's DownloadComplete handler, which also serves loads outside a
// run. Everything happens on the user-interface thread; the run yields only in the waits of its
// page loader and while a download is in progress, and Stop is honoured there at once.
class ScrapeRun final : public QObject
{
    Q_OBJECT

public:
    explicit ScrapeRun(RunPorts ports, QObject *parent = nullptr);
    ~ScrapeRun() override;
    Q_DISABLE_COPY_MOVE(ScrapeRun)

    // cmdGo pressed. Runs ErrorCheck, then the whole run. Pressed while an earlier run
    // is still unwinding after Stop, the new run starts once the earlier one has returned.
    void Go();
    // cmdStop pressed: the run ends at its next check point; a page wait or a download
    // in progress ends at once.
    void Stop();
    // The window is closing: like Stop, and no run starts any more.
    void Close();

    // One activity log line: time of day, " -> ", message. A full log (32,768 lines)
    // is cleared first.
    void AddToLog(const QString &message) { m_control.AddToLog(message); }

    // The browser finished a load, whatever its outcome, inside or outside a run.
    void LoadEnded(LoadResult result) { m_loader.LoadEnded(result); }

    bool IsRunning() const { return m_active; }

    bool CancelRequested() const { return m_control.CancelRequested(); }
    std::int32_t ItemsDownloaded() const { return m_control.ItemsDownloaded(); }
    double CurrentNumber() const { return m_currentNumber; }
    QString PageMarkup() const { return m_loader.Markup(); }
    QStringList lstCode() const { return m_lstCode; }

    static constexpr int kMaxLogLines = RunControl::kMaxLogLines;

signals:
    // A run has left the running state, however it ended.
    void RunEnded();

private:
    void StartQueuedRun();
    void Walk();
    void WalkSeries();
    // A page of the series in its turn; `series` walks on past it.
    void TakePage(const linkrules::SeriesCursor &series, const linkrules::SeriesPage &page);
    // The page loaded, or asked about and skipped (false).
    bool RetrievePage(const QString &address, qint64 position);
    void ExtractLinks();
    void HandleLinks(const linkrules::SeriesPage &page, const QString &address);
    void ApplyTimeOut();

    RunPorts m_ports;
    RunControl m_control;
    PageLoader m_loader;
    DownloadPlanner m_planner;
    LinkSteps m_steps;
    // None without pages out of sight: every page loads in its turn.
    std::unique_ptr<LookAhead> m_lookAhead;

    double m_currentNumber = 0;
    QStringList m_lstCode;

    bool m_active = false;
    bool m_goQueued = false;
    bool m_closing = false;
};
