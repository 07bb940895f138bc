#include "scraperun.h"

#include "downloadsahead.h"
#include "failurecodes.h"
#include "jobsettings.h"
#include "linkrules.h"
#include "numbers.h"
#include "runsteps.h"
#include "scan.h"
#include "transfer/hostschedule.h"
#include "transfer/sameaddress.h"
#include "transfer/transfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace runsteps;

namespace {

// Codes of the failures the run itself finds; a rule or a transfer brings its own.
using failurecodes::kTypeMismatch;
constexpr int kPageNotLoaded = 1001;
constexpr int kPageTimedOut = 1002;

// Used while a time-out was never set successfully.
constexpr int kFallbackPageSeconds = 60;

// Downloads fetched ahead may all be in already: the window still gets its turn this often.
constexpr qint64 kYieldMilliseconds = 20;

QString DoubleAmpersands(QString text)
{
    return text.replace(u'&', u"&&"_s);
}

} // namespace

ScrapeRun::ScrapeRun(RunPorts ports, QObject *parent) : QObject(parent), m_ports(std::move(ports))
{
    Q_ASSERT(m_ports.job && m_ports.view && m_ports.browser && m_ports.transfer && m_ports.prompt
             && m_ports.files);
    if (!m_ports.timeOfDay)
        m_ports.timeOfDay = SystemTimeOfDay;
}

ScrapeRun::~ScrapeRun() = default;

void ScrapeRun::Go()
{
    if (m_closing)
        return;
    if (m_active) {
        // Stop was pressed and the earlier run has not yet unwound (it may be inside a
        // download's or a page's wait right below us): starting here would run the new
        // run inside the old one. Start it once the old one has returned instead.
        m_goQueued = true;
        m_ports.view->SetGoEnabled(false);
        m_ports.view->SetStopEnabled(true);
        return;
    }
    m_goQueued = false;
    if (m_ports.errorCheck && !m_ports.errorCheck())
        return;

    m_active = true;
    {
        const auto inactive = qScopeGuard([this] { m_active = false; });
        Walk();
    }
    emit RunEnded();
    if (m_goQueued && !m_closing)
        QTimer::singleShot(0, this, &ScrapeRun::StartQueuedRun);
}

void ScrapeRun::StartQueuedRun()
{
    if (!m_goQueued || m_active)
        return;
    Go();
}

void ScrapeRun::Stop()
{
    m_cancelRequested = true;
    m_goQueued = false;
    if (m_ports.transfer->StillExecuting())
        m_ports.transfer->Cancel();
    m_ports.view->SetStopEnabled(false);
    m_ports.view->SetGoEnabled(true);
    EndWait(WaitOutcome::Stopped);
    if (m_turnWait)
        m_turnWait->quit();
    CloseAllAhead();
    m_ports.browser->StopLoading();
}

void ScrapeRun::Close()
{
    m_closing = true;
    Stop();
}

void ScrapeRun::AddToLog(const QString &message)
{
    RunView &view = *m_ports.view;
    if (view.LogLineCount() >= kMaxLogLines)
        view.ClearLog();
    view.AppendLogLine(m_ports.timeOfDay() + u" -> "_s + message);
}

void ScrapeRun::Walk()
{
    RunView &view = *m_ports.view;
    view.SetStopEnabled(true);
    view.SetGoEnabled(false);
    m_cancelRequested = false;
    view.ClearLog();
    view.SetBusyPointer(true);
    view.ShowStatusPage();
    m_itemsDownloaded = m_ports.countFrom;
    m_loadAhead = false;
    m_aheadReloaded = 0;
    m_nextDropped = 0;
    const auto series = qScopeGuard([this] {
        m_next.reset();
        CloseAllAhead();
        m_series.reset();
    });

    try {
        WalkSeries();
        AddToLog(u"Done.  Items downloaded: "_s + QString::number(m_itemsDownloaded) + u'.');
    } catch (const SeriesCut &) {
        AddToLog(u"Done.  Items downloaded: "_s + QString::number(m_itemsDownloaded) + u'.');
    } catch (const RunCancelled &) {
        AddToLog(u"Action has been cancelled!"_s);
    } catch (const RunAbandoned &) {
        // No at the error prompt: the run ends without a further log line.
    }
    view.SetBusyPointer(false);
    view.SetStopEnabled(false);
    view.SetGoEnabled(true);
}

void ScrapeRun::WalkSeries()
{
    linkrules::SeriesCursor series(*m_ports.job);
    for (;;) {
        const linkrules::SeriesCursor::Step step = series.Next();
        switch (step.kind) {
        case linkrules::SeriesCursor::Step::Kind::Letter:
            CheckPoint();
            ApplyTimeOut();
            break;
        case linkrules::SeriesCursor::Step::Kind::Failure:
            // Yes: the series goes on where it can.
            Failure(step.code, step.description);
            break;
        case linkrules::SeriesCursor::Step::Kind::Page:
            TakePage(series, step.page);
            break;
        case linkrules::SeriesCursor::Step::Kind::End:
            return;
        }
    }
}

void ScrapeRun::TakePage(const linkrules::SeriesCursor &series, const linkrules::SeriesPage &page)
{
    m_currentNumber = page.number;
    CheckPoint();
    if (!Ledger().VisitsPage(page.position))
        return;
    ApplyTimeOut();
    m_page = page;
    m_series = series;
    Ledger().PageStarted(page.position);
    VisitPage(page);
    Ledger().PageHandled(page.position, m_itemsDownloaded);
}

void ScrapeRun::VisitPage(const linkrules::SeriesPage &page)
{
    m_pageMarkup.clear();
    m_lstCode.clear();
    m_ports.view->SetCodeList(m_lstCode);

    const QString address = m_series->AddressOf(page);
    // Between pages a failure belongs to no address.
    const auto leftPage = qScopeGuard([this] { m_stepAddress.clear(); });
    if (!RetrievePage(address))
        return; // a page that could not be loaded contributes no links
    ExtractLinks();
    // The page's links are fetched as the browser would fetch them from the page shown.
    const QString shown = m_ports.browser->LocationURL();
    m_referrer = shown.isEmpty() ? address : shown;

    PagePlan plan;
    const std::unique_ptr<DownloadsAhead> ahead = DownloadsOfThisPage(page.number, plan);
    m_sinceYield.start();
    const qsizetype count = m_lstCode.size();
    for (qsizetype i = 0; i < count; ++i) {
        CheckPoint();
        plan.next = std::max(plan.next, i);
        PlanAhead(*ahead, plan);
        PlanNextPage(*ahead, plan);
        SaveLink(m_lstCode.at(i), i, *ahead);
        YieldNow();
    }
}

void ScrapeRun::YieldNow()
{
    if (!m_sinceYield.hasExpired(kYieldMilliseconds))
        return;
    QCoreApplication::processEvents();
    m_sinceYield.start();
}

bool ScrapeRun::RetrievePage(const QString &address)
{
    m_ports.view->SetStatusText(u"Downloading source code: "_s + address);
    const QString navigated = Navigated(address);
    m_stepAddress = navigated;
    Events().PageStarted(navigated);

    WaitOutcome outcome = WaitForPage(navigated, false);
    // A load that may pass is tried again for as long as the transfer's politeness allows.
    HostSchedule &hosts = m_ports.transfer->Hosts();
    for (int tries = 0; outcome == WaitOutcome::TimedOut || outcome == WaitOutcome::Failed;
         ++tries) {
        const TryAgain again = outcome == WaitOutcome::TimedOut ? TryAgain::Later
                                                                : m_ports.browser->LastTrouble();
        if (again == TryAgain::Never)
            break;
        hosts.RequestEnded(navigated);
        const qint64 delay = hosts.RetryDelay(navigated, tries, again);
        if (delay < 0)
            break;
        m_ports.browser->StopLoading(); // a load that timed out is still under way
        outcome = Pause(delay) ? WaitForPage(navigated, true) : WaitOutcome::Stopped;
    }
    if (outcome != WaitOutcome::Stopped)
        hosts.RequestEnded(navigated);
    switch (outcome) {
    case WaitOutcome::Arrived:
        break;
    case WaitOutcome::Stopped:
        throw RunCancelled{};
    case WaitOutcome::TimedOut:
        Failure(kPageTimedOut,
                u"The page did not load within %1 seconds: %2"_s.arg(
                    QString::number(m_ports.transfer->RequestTimeout()), navigated));
        return false;
    case WaitOutcome::Failed:
    case WaitOutcome::Waiting: // not returned
        Failure(kPageNotLoaded, u"The page could not be loaded: "_s + navigated);
        return false;
    }

    // Pages after this one start loading now that one has: whatever cookies it set are
    // then in the store for them.
    m_loadAhead = true;
    LoadPagesAhead();
    m_ports.view->SetSourceText(m_pageMarkup);
    AddToLog(u"Source code has been downloaded: "_s + navigated + u'.');
    Events().PageLoaded(navigated);
    return true;
}

ScrapeRun::WaitOutcome ScrapeRun::WaitForPage(const QString &address, bool again)
{
    // A download that ended before its turn came may still have cookies on their way to the
    // browser: they get there before this page is taken, ahead or not.
    QCoreApplication::processEvents();
    if (m_cancelRequested)
        return WaitOutcome::Stopped;

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    const int seconds = m_ports.transfer->RequestTimeout();
    const qint64 milliseconds = 1000LL * (seconds > 0 ? seconds : kFallbackPageSeconds);
    connect(&timer, &QTimer::timeout, this, [this] { EndWait(WaitOutcome::TimedOut); });

    PageWait wait;
    wait.address = address;
    wait.firstTicket = m_nextTicket; // markup asked for before this navigation is not this page's
    m_markupFrom = wait.firstTicket;
    wait.loop = &loop;
    wait.timer = &timer;
    wait.fullMs = TimerInterval(milliseconds);
    m_wait = &wait;
    const auto done = qScopeGuard([this] { m_wait = nullptr; });

    // A page loading ahead has had its time-out running since its request went out.
    const std::optional<qint64> loadingMs = StartPage(address, seconds, again);
    timer.setInterval(loadingMs ? TimerInterval(milliseconds - *loadingMs) : wait.fullMs);
    m_ports.view->SetLocationCaption(u"Loading: "_s + DoubleAmpersands(address));
    LoadPagesAhead();
    if (wait.outcome == WaitOutcome::Waiting) {
        timer.start();
        loop.exec();
    }
    if (wait.outcome == WaitOutcome::Waiting) {
        // The application told every event loop to end: it is quitting.
        m_cancelRequested = true;
        return WaitOutcome::Stopped;
    }
    return wait.outcome;
}

void ScrapeRun::EndWait(WaitOutcome outcome)
{
    if (!m_wait || m_wait->outcome != WaitOutcome::Waiting)
        return;
    m_wait->outcome = outcome;
    m_wait->timer->stop();
    m_wait->loop->quit();
}

void ScrapeRun::OnDownloadComplete(LoadResult result)
{
    m_ports.view->SetLocationCaption(DoubleAmpersands(m_ports.browser->LocationURL()));

    const quint64 ticket = m_nextTicket++;
    if (m_wait && m_wait->outcome == WaitOutcome::Waiting) {
        if (result == LoadResult::Failed) {
            // A failure elsewhere is most likely an earlier load that this navigation cut
            // short; only the requested address failing ends the wait (the time-out
            // bounds the rest).
            if (SameAddress(QUrl(m_ports.browser->LocationURL(), QUrl::TolerantMode),
                            QUrl(m_wait->address, QUrl::TolerantMode)))
                EndWait(WaitOutcome::Failed);
        } else if (result == LoadResult::Succeeded && m_wait->timer->isActive()) {
            // The load is in; its markup gets the same time again to arrive.
            m_wait->timer->start(m_wait->fullMs);
        }
    }

    const bool succeeded = result == LoadResult::Succeeded;
    QPointer<ScrapeRun> self(this);
    m_ports.browser->RequestMarkup([self, ticket, succeeded](const QString &markup) {
        if (self)
            self->OnMarkup(ticket, succeeded, markup);
    });
}

void ScrapeRun::OnMarkup(quint64 ticket, bool fromSucceededLoad, const QString &markup)
{
    if (markup.isNull())
        return; // no document: the markup stays as it was
    // An earlier document answering late (a page left, or shown ahead and replaced since)
    // must not take the place of the markup the latest page's wait took.
    if (ticket < m_markupFrom || (m_wait && m_wait->outcome != WaitOutcome::Waiting))
        return;
    if (m_wait) {
        m_pageMarkup = markup;
        // The first load that completes after the navigation is the run's own, also when
        // it ended at another address (a redirect).
        if (fromSucceededLoad && !markup.isEmpty())
            EndWait(WaitOutcome::Arrived);
        return;
    }
    m_pageMarkup = markup;
}

void ScrapeRun::ExtractLinks()
{
    RunView &view = *m_ports.view;
    scan::Observer observer;
    observer.progress = [&view](int percent) {
        view.SetStatusText(u"Parsing source code: "_s + QString::number(percent) + u'%');
    };
    observer.cancelled = [this] { return m_cancelRequested; };
    if (scan::ScanLinks(m_pageMarkup, m_lstCode, observer) == scan::Outcome::Cancelled)
        throw RunCancelled{};
    AddToLog(u"Source code has been parsed: "_s + QString::number(m_lstCode.size())
             + u" total links."_s);

    const qsizetype found = m_lstCode.size();
    linkrules::TrimList(m_lstCode, CriteriaOf(*m_ports.job));
    AddToLog(u"Filters have been applied: "_s + QString::number(m_lstCode.size())
             + u" relevant links."_s);
    Events().LinksKept(m_stepAddress, found, m_lstCode.size());
    view.SetCodeList(m_lstCode);
}

void ScrapeRun::ApplyTimeOut()
{
    const QString text = m_ports.job->txtTimeOut();
    const std::optional<int> seconds = TimeOutSeconds(text);
    if (!seconds) {
        // Yes: the time-out in force stays.
        Failure(
            kTypeMismatch,
            u"Type mismatch: the time-out \"%1\" is not a number of seconds from 1 to 2147483647."_s
                .arg(text));
        return;
    }
    m_ports.transfer->SetRequestTimeout(*seconds);
}

void ScrapeRun::CheckPoint() const
{
    if (m_cancelRequested)
        throw RunCancelled{};
}

void ScrapeRun::Failure(int code, const QString &description)
{
    const QString text = u"An error has occurred.\r\n\r\nError: "_s + QString::number(code)
        + u"\r\nDescription: "_s + description + u"\r\n\r\nWould you like to continue?"_s;
    Events().Failed(code, description, m_stepAddress);
    if (!m_ports.prompt->AskContinue(text))
        throw RunAbandoned{};
}

RunEvents &ScrapeRun::Events() const
{
    static RunEvents none;
    return m_ports.events ? *m_ports.events : none;
}

RunLedger &ScrapeRun::Ledger() const
{
    static RunLedger none;
    return m_ports.ledger ? *m_ports.ledger : none;
}
