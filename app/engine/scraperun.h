#pragma once

#include "runports.h"
#include "seriescursor.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class DownloadsAhead;
class QEventLoop;
class QTimer;

// How a finished load of the page browser ended.
enum class LoadResult {
    Succeeded, // the document is there (an error page the server sent counts too)
    Failed,    // the browser could not load the address
    Stopped,   // stopped, or replaced by a newer navigation, before it finished
};

// The host (the main window) wires a run like this:
// - cmdGo_Click calls Go(), cmdStop_Click calls Stop(), the window's close calls Close().
//   ErrorCheck is handed in through RunPorts::errorCheck; Go() calls it.
// - Every finished load of Browser, inside or outside a run, calls OnDownloadComplete
//   with its outcome. The run then sets lblLocation (through RunView) and asks
//   PageBrowser::RequestMarkup for the document's markup; that is the whole
//   DownloadComplete handler.

// One scrape run at a time, from Go to the last log line, and the browser's
// DownloadComplete handler, which also serves loads outside a run. Everything happens
// on the user-interface thread; the run yields only while it waits for a page and while
// a download is in progress, and Stop is honoured there at once.
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
    void AddToLog(const QString &message);

    // The browser finished a load, whatever its outcome, inside or outside a run.
    void OnDownloadComplete(LoadResult result);

    bool IsRunning() const { return m_active; }

    bool CancelRequested() const { return m_cancelRequested; }
    std::int32_t ItemsDownloaded() const { return m_itemsDownloaded; }
    double CurrentNumber() const { return m_currentNumber; }
    QString PageMarkup() const { return m_pageMarkup; }
    QStringList lstCode() const { return m_lstCode; }

    static constexpr int kMaxLogLines = 32768;

signals:
    // A run has left the running state, however it ended.
    void RunEnded();

private:
    enum class WaitOutcome { Waiting, Arrived, Failed, TimedOut, Stopped };

    struct PageWait
    {
        QString address;
        quint64 firstTicket = 0; // markup requests from here on belong to this wait
        WaitOutcome outcome = WaitOutcome::Waiting;
        QEventLoop *loop = nullptr;
        QTimer *timer = nullptr;
        int fullMs = 0; // the time-out as the page started loading
    };

    // A later page of the series, loading out of sight.
    struct PageAhead
    {
        PageBrowser::AheadId id = 0;
        QString address; // as it will be navigated to
        int seconds = 0; // the time-out in force as it was asked for
        double number = 0;
        qint64 position = 0; // in the series
    };

    void StartQueuedRun();
    void Walk();
    void WalkSeries();
    // A page of the series in its turn; `series` walks on past it.
    void TakePage(const linkrules::SeriesCursor &series, const linkrules::SeriesPage &page);
    void VisitPage(const linkrules::SeriesPage &page);
    QList<PageAhead> ForeseePages() const;
    void LoadPagesAhead();
    std::optional<PageAhead> TakeAhead(const QString &address, int seconds);
    // Shows the page ahead this turn asks for, or navigates (always when the page is loaded
    // again): how long the page shown has been loading, none when it starts now.
    std::optional<qint64> StartPage(const QString &address, int seconds, bool again);
    void CloseAllAhead();
    // Waits until the transfer gives the address's host its turn; false when Stop came first.
    bool WaitForTurn(const QString &address);
    // Lets the event loop run that long; false when Stop came first.
    bool Pause(qint64 milliseconds);
    bool RetrievePage(const QString &address);
    WaitOutcome WaitForPage(const QString &address, bool again);
    void EndWait(WaitOutcome outcome);
    void OnMarkup(quint64 ticket, bool fromSucceededLoad, const QString &markup);
    void ExtractLinks();
    // How far a page's links have been looked at for fetching ahead, and the names taken.
    struct PagePlan
    {
        qsizetype next = 0;
        QSet<QString> paths;
    };
    void PlanAhead(DownloadsAhead &ahead, PagePlan &plan);
    // The next page's first downloads, fetched while this page's last ones come in.
    struct NextDownloads
    {
        PageBrowser::AheadId page = 0;
        double number = 0;
        qint64 position = 0;
        QString location;
        QStringList links;
        PagePlan plan;
        std::unique_ptr<DownloadsAhead> ahead;
        quint64 cookieChanges = 0; // the browser's, as they started
    };
    void PlanNextPage(const DownloadsAhead &current, const PagePlan &plan);
    std::unique_ptr<DownloadsAhead> DownloadsOfThisPage(double number, PagePlan &plan);
    bool KeepsExisting(const QString &path) const;
    // What the ledger holds of a link, its address made without asking anything on failure.
    RunLedger::Held Held(qint64 position, const QString &link, const QString &path) const;
    // What a step of a link leaves to the link: its next step, or its end.
    enum class Then { NextStep, EndLink };
    void SaveLink(const QString &link, qsizetype index, DownloadsAhead &ahead);
    // A step that applies a link rule; none when the rule failed and Yes skipped the step.
    std::optional<QString> RuleStep(const std::function<QString()> &rule);
    // The content of the address into the path.
    Then DownloadStep(const QString &path, const QString &address, qsizetype index,
                      DownloadsAhead &ahead);
    bool SaveFetched(const QString &source, const QString &path, const QString &temporary,
                     const QByteArray &content, QString &error);
    // The address record in the page's link-address file; in one-per-file mode the path
    // becomes that file's, for the log line.
    Then RecordStep(const QString &address, QString &path);
    QString FirstQueryValue(const QString &address);
    void YieldNow();
    QString DownloadPath(const QString &link);
    void CountItem();
    void ApplyTimeOut();
    void CheckPoint() const;
    // A step failed: asks the "Error" question. Returns on Yes, and the caller goes on with
    // its next step; throws RunAbandoned on No, which ends the run.
    void Failure(int code, const QString &description);
    RunEvents &Events() const;
    RunLedger &Ledger() const;

    RunPorts m_ports;

    bool m_cancelRequested = false;
    std::int32_t m_itemsDownloaded = 0;
    double m_currentNumber = 0;
    QString m_pageMarkup;
    QStringList m_lstCode;
    // The page's or the link's address that the current step works on, for RunEvents.
    QString m_stepAddress;
    // The page whose links are fetched, as the browser would send it from the page shown.
    QString m_referrer;

    bool m_active = false;
    bool m_goQueued = false;
    bool m_closing = false;
    quint64 m_nextTicket = 0;
    quint64 m_markupFrom = 0; // the first ticket of the latest page wait
    PageWait *m_wait = nullptr;
    QEventLoop *m_turnWait = nullptr; // while a page waits for its host's turn or a retry

    // The page being visited, and the series past it, for foreseeing the pages after it.
    linkrules::SeriesPage m_page;
    std::optional<linkrules::SeriesCursor> m_series;
    // Pages ahead, in the order the run will reach them.
    QList<PageAhead> m_ahead;
    bool m_loadAhead = false; // once a page of the run has loaded
    int m_aheadReloaded = 0;  // pages ahead found stale in their turn, one after another
    PageBrowser::AheadId m_shownAhead = 0; // the page ahead this turn shows, if any
    std::optional<NextDownloads> m_next;
    int m_nextDropped = 0; // next pages' downloads a cookie change cost, one after another

    // Since the event loop last ran for a run that found its downloads already in.
    QElapsedTimer m_sinceYield;
};
