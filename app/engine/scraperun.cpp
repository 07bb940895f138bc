#include "scraperun.h"

#include "failurecodes.h"
#include "jobsettings.h"
#include "linkrules.h"
#include "resolvedlink.h"
#include "runsteps.h"
#include "scan.h"
#include "transfer/transfer.h"

#include <QScopeGuard>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;
using linkrules::SeriesCursor;
using runsteps::RunAbandoned;
using runsteps::RunCancelled;
using runsteps::SeriesCut;

namespace {

// Codes of the failures the run itself finds; a rule or a transfer brings its own.
constexpr int kPageNotLoaded = 1001;
constexpr int kPageTimedOut = 1002;

} // namespace

ScrapeRun::ScrapeRun(RunPorts ports, QObject *parent)
    : QObject(parent)
    , m_ports(std::move(ports))
    , m_control(m_ports)
    , m_loader(*m_ports.browser, *m_ports.transfer, *m_ports.view, m_control)
    , m_planner(*m_ports.job, *m_ports.files, m_control.Ledger())
    , m_steps(m_ports, m_control)
    , m_lookAhead(m_ports.outOfSight ? std::make_unique<LookAhead>(*m_ports.outOfSight, m_ports,
                                                                   m_control, m_planner)
                                     : nullptr)
{
    Q_ASSERT(m_ports.job && m_ports.view && m_ports.browser && m_ports.transfer && m_ports.prompt
             && m_ports.files);
    m_loader.SetPagesAhead(m_lookAhead.get());
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
    m_control.RequestStop();
    m_goQueued = false;
    if (m_ports.transfer->StillExecuting())
        m_ports.transfer->Cancel();
    m_ports.view->SetStopEnabled(false);
    m_ports.view->SetGoEnabled(true);
    m_loader.Stop();
    if (m_lookAhead)
        m_lookAhead->CloseAll();
    m_ports.browser->StopLoading();
}

void ScrapeRun::Close()
{
    m_closing = true;
    Stop();
}

void ScrapeRun::Walk()
{
    RunView &view = *m_ports.view;
    view.SetStopEnabled(true);
    view.SetGoEnabled(false);
    m_control.Begin(m_ports.countFrom);
    view.ClearLog();
    view.SetBusyPointer(true);
    view.ShowStatusPage();
    const auto lookAhead = [this] {
        if (m_lookAhead)
            m_lookAhead->Reset();
    };
    lookAhead();
    const auto series = qScopeGuard(lookAhead);

    const auto done = [this] {
        m_control.AddToLog(u"Done.  Items downloaded: "_s
                           + QString::number(m_control.ItemsDownloaded()) + u'.');
    };
    try {
        WalkSeries();
        done();
    } catch (const SeriesCut &) {
        done();
    } catch (const RunCancelled &) {
        m_control.AddToLog(u"Action has been cancelled!"_s);
    } catch (const RunAbandoned &) {
        // No at the error prompt: the run ends without a further log line.
    }
    view.SetBusyPointer(false);
    view.SetStopEnabled(false);
    view.SetGoEnabled(true);
}

void ScrapeRun::WalkSeries()
{
    SeriesCursor series(*m_ports.job);
    for (;;) {
        const SeriesCursor::Step step = series.Next();
        switch (step.kind) {
        case SeriesCursor::Step::Kind::Letter:
            m_control.CheckPoint();
            ApplyTimeOut();
            break;
        case SeriesCursor::Step::Kind::Failure:
            // Yes: the series goes on where it can.
            m_control.Failure(step.code, step.description);
            break;
        case SeriesCursor::Step::Kind::Page:
            TakePage(series, step.page);
            break;
        case SeriesCursor::Step::Kind::End:
            return;
        }
    }
}

void ScrapeRun::TakePage(const SeriesCursor &series, const linkrules::SeriesPage &page)
{
    m_currentNumber = page.number;
    m_control.CheckPoint();
    if (!m_control.Ledger().VisitsPage(page.position))
        return;
    ApplyTimeOut();
    if (m_lookAhead)
        m_lookAhead->SetTurn(series, page);
    m_loader.ClearMarkup();
    m_lstCode.clear();
    m_ports.view->SetCodeList(m_lstCode);
    const QString address = series.AddressOf(page);
    {
        // Between pages a failure belongs to no address.
        const auto leftPage = qScopeGuard([this] { m_control.SetStepAddress(QString()); });
        // A page that could not be loaded contributes no links.
        if (RetrievePage(address, page.position)) {
            ExtractLinks();
            HandleLinks(page, address);
        }
    }
    m_control.Observer().PageHandled(page.position, m_control.ItemsDownloaded());
}

bool ScrapeRun::RetrievePage(const QString &address, qint64 position)
{
    m_ports.view->SetStatusText(u"Downloading source code: "_s + address);
    const QString navigated = runsteps::Navigated(address);
    m_control.SetStepAddress(navigated);
    m_control.Observer().PageStarted(position, navigated);
    switch (m_loader.Load(navigated)) {
    case PageLoader::Outcome::Arrived:
        break;
    case PageLoader::Outcome::TimedOut:
        m_control.Failure(kPageTimedOut,
                          u"The page did not load within %1 seconds: %2"_s.arg(
                              QString::number(m_ports.transfer->RequestTimeout()), navigated));
        return false;
    case PageLoader::Outcome::Failed:
        m_control.Failure(kPageNotLoaded, u"The page could not be loaded: "_s + navigated);
        return false;
    }
    if (m_lookAhead)
        m_lookAhead->PageArrived();
    m_ports.view->SetSourceText(m_loader.Markup());
    m_control.AddToLog(u"Source code has been downloaded: "_s + navigated + u'.');
    m_control.Observer().PageLoaded(navigated);
    return true;
}

void ScrapeRun::ExtractLinks()
{
    RunView &view = *m_ports.view;
    scan::Observer observer;
    observer.progress = [&view](int percent) {
        view.SetStatusText(u"Parsing source code: "_s + QString::number(percent) + u'%');
    };
    observer.cancelled = [this] { return m_control.Cancelled(); };
    if (scan::ScanLinks(m_loader.Markup(), m_lstCode, observer) == scan::Outcome::Cancelled)
        throw RunCancelled{};
    m_control.AddToLog(u"Source code has been parsed: "_s + QString::number(m_lstCode.size())
                       + u" total links."_s);

    const qsizetype found = m_lstCode.size();
    linkrules::TrimList(m_lstCode, runsteps::CriteriaOf(*m_ports.job));
    m_control.AddToLog(u"Filters have been applied: "_s + QString::number(m_lstCode.size())
                       + u" relevant links."_s);
    m_control.Observer().LinksKept(m_control.StepAddress(), found, m_lstCode.size());
    view.SetCodeList(m_lstCode);
}

void ScrapeRun::HandleLinks(const linkrules::SeriesPage &page, const QString &address)
{
    // The page's links are downloaded as the browser would download them from the page shown.
    const QString shown = m_ports.browser->LocationURL();
    const QString referrer = shown.isEmpty() ? address : shown;
    DownloadPlan plan;
    std::unique_ptr<DownloadsAhead> ahead;
    if (m_lookAhead)
        ahead = m_lookAhead->TakeDownloads(page.number, m_lstCode, plan);
    if (!ahead)
        ahead = std::make_unique<DownloadsAhead>(*m_ports.transfer, *m_ports.files);

    const JobSettings &job = *m_ports.job;
    m_loader.RestartYieldClock();
    const qsizetype count = m_lstCode.size();
    for (qsizetype i = 0; i < count; ++i) {
        m_control.CheckPoint();
        // Worked out once in its turn, with the fields as they are now: they may have been
        // edited since the link was planned ahead, and its download ahead is then dropped.
        const ResolvedLink link = ResolveLink(m_lstCode.at(i), job, page.number);
        plan.next = std::max(plan.next, i);
        const PlannedPage planned{count,
                                  [&](qsizetype index) {
                                      return index == i
                                          ? link
                                          : ResolveLink(m_lstCode.at(index), job, page.number);
                                  },
                                  page.position, referrer};
        m_planner.Plan(planned, *ahead, plan);
        if (m_lookAhead)
            m_lookAhead->PlanNext(*ahead, plan, count);
        m_control.CheckLedger();
        m_steps.Take(link, page.position, page.number, i, *ahead, referrer);
        m_loader.Yield();
    }
}

void ScrapeRun::ApplyTimeOut()
{
    const QString text = m_ports.job->txtTimeOut();
    const std::optional<int> seconds = runsteps::TimeOutSeconds(text);
    if (!seconds) {
        // Yes: the time-out in force stays.
        m_control.Failure(
            failurecodes::kTypeMismatch,
            u"Type mismatch: the time-out \"%1\" is not a number of seconds from 1 to 2147483647."_s
                .arg(text));
        return;
    }
    m_ports.transfer->SetRequestTimeout(*seconds);
}
