#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <optional>

class PageBrowser;
class QEventLoop;
class QTimer;
class RunControl;
class RunView;
class Transfer;

// How a finished load of the page browser ended.
enum class LoadResult {
    Succeeded, // the document is there (an error page the server sent counts too)
    Failed,    // the browser could not load the address
    Stopped,   // stopped, or replaced by a newer navigation, before it finished
};

// What the page loader asks of the pages loading ahead, when the run has them.
class PagesAhead
{
public:
    virtual ~PagesAhead() = default;

    // The page of this turn: the page ahead that is exactly this address and time-out takes the
    // view's place; how long it has been loading then (0: loaded). None: the turn navigates.
    // `again`: the page is loaded again, never taken from ahead.
    virtual std::optional<qint64> ShowInItsTurn(const QString &address, int seconds,
                                                bool again) = 0;
    // The page of this turn is on its way: later pages may start loading out of sight.
    virtual void LoadMore() = 0;
};

// Who waits for a page: the page's ticket among the browser's loads, its time-out, its host's
// turn, its further tries, and its markup. The engine's only nested event loops run here, in
// the waits for a page, for a host's turn and between tries, and in Yield: so Stop, repainting
// and edits of the fields happen there. Everything on the user-interface thread.
class PageLoader final
{
public:
    PageLoader(PageBrowser &browser, Transfer &transfer, RunView &view, RunControl &control);
    ~PageLoader();
    Q_DISABLE_COPY_MOVE(PageLoader)

    // None: every page loads in its turn.
    void SetPagesAhead(PagesAhead *ahead) { m_ahead = ahead; }

    enum class Outcome { Arrived, Failed, TimedOut };
    // Loads the page at the address (as navigated) and waits until its markup has arrived,
    // its load failed or its time-out passed. When its host is busy the page waits for its
    // turn in the transfer's schedule; a load that may pass is tried again as long and as
    // often as the schedule allows, a busy server holding its host meanwhile. Throws
    // RunCancelled when Stop ends the wait.
    Outcome Load(const QString &address);

    // The browser finished a load, whatever its outcome, inside or outside a run.
    void LoadEnded(LoadResult result);
    // Ends a wait for a page, for a turn or between tries at once.
    void Stop();

    // The markup of the latest document, or the page the run waits for.
    QString Markup() const { return m_markup; }
    void ClearMarkup() { m_markup.clear(); }

    // While the run works without waiting (downloads already in), the event loop still runs at
    // least every kYieldMs, counted from RestartYieldClock.
    static constexpr qint64 kYieldMs = 20;
    void RestartYieldClock() { m_sinceYield.start(); }
    void Yield();

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

    WaitOutcome WaitForPage(const QString &address, bool again);
    void EndWait(WaitOutcome outcome);
    void OnMarkup(quint64 ticket, bool fromSucceededLoad, const QString &markup);
    // Waits until the schedule gives the address's host its turn; false when Stop came first.
    bool WaitForTurn(const QString &address);
    // Lets the event loop run that long; false when Stop came first.
    bool Pause(qint64 milliseconds);

    PageBrowser &m_browser;
    Transfer &m_transfer;
    RunView &m_view;
    RunControl &m_control;
    PagesAhead *m_ahead = nullptr;
    // The context of the loader's timers and of the browser's answers, which may come after it.
    QObject m_context;

    QString m_markup;
    quint64 m_nextTicket = 0;
    quint64 m_markupFrom = 0; // the first ticket of the latest page wait
    PageWait *m_wait = nullptr;
    QEventLoop *m_pause = nullptr; // while a page waits for its host's turn or a further try
    QElapsedTimer m_sinceYield;
};
