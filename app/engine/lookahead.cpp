#include "lookahead.h"

#include "jobsettings.h"
#include "linkrules.h"
#include "resolvedlink.h"
#include "runcontrol.h"
#include "runsteps.h"
#include "scan.h"
#include "transfer/hostschedule.h"
#include "transfer/transfer.h"

#include <QUrl>

using linkrules::SeriesCursor;

namespace {

// Pages the run does not visit that foreseeing the next pages looks past, at most.
constexpr qint64 kMostPassedAhead = 100000;

// The browser goes to an address that differs from the one before only in its fragment
// without loading anything: such a page cannot be loaded ahead.
bool SameDocument(const QString &before, const QString &address)
{
    const QUrl next(address, QUrl::TolerantMode);
    return next.hasFragment()
        && QUrl(before, QUrl::TolerantMode).adjusted(QUrl::RemoveFragment)
        == next.adjusted(QUrl::RemoveFragment);
}

} // namespace

LookAhead::LookAhead(PagesOutOfSight &browser, const RunPorts &ports, RunControl &control,
                     const DownloadPlanner &planner)
    : m_browser(browser)
    , m_ports(ports)
    , m_control(control)
    , m_planner(planner)
{
}

LookAhead::~LookAhead() = default;

void LookAhead::Reset()
{
    m_next.reset();
    CloseAll();
    m_series.reset();
    m_loadAhead = false;
    m_reloaded = 0;
    m_nextDropped = 0;
}

void LookAhead::CloseAll()
{
    for (const Page &page : std::as_const(m_pages))
        m_browser.CloseAhead(page.id);
    m_pages.clear();
}

void LookAhead::SetTurn(const SeriesCursor &series, const linkrules::SeriesPage &page)
{
    m_series = series;
    m_page = page;
}

void LookAhead::PageArrived()
{
    m_loadAhead = true;
    LoadMore();
}

QList<LookAhead::Page> LookAhead::Foresee() const
{
    // A copy of the series walks on with the fields as they are now: a page whose turn finds
    // other values is loaded again then.
    QList<Page> pages;
    const std::optional<int> seconds = runsteps::TimeOutSeconds(m_ports.job->txtTimeOut());
    if (!m_series || !seconds)
        return pages;
    SeriesCursor series = *m_series;
    QString before = runsteps::Navigated(series.AddressOf(m_page));
    // Letters without a single page could go round for ever; pages the run does not visit
    // take no turn, up to a bound.
    qint64 passed = 0;
    for (qint64 turn = 0; pages.size() < PagesOutOfSight::kPagesAhead
         && turn - passed < 4 * PagesOutOfSight::kPagesAhead && passed < kMostPassedAhead;
         ++turn) {
        const SeriesCursor::Step step = series.Next();
        if (step.kind == SeriesCursor::Step::Kind::Letter)
            continue;
        // What a later turn would stop at with a question is as far as it goes.
        if (step.kind != SeriesCursor::Step::Kind::Page)
            break;
        if (!m_control.Ledger().VisitsPage(step.page.position)) {
            ++passed;
            continue;
        }
        const QString address = runsteps::Navigated(series.AddressOf(step.page));
        if (SameDocument(before, address))
            break;
        pages.append(Page{0, address, *seconds, step.page.number, step.page.position});
        before = address;
    }
    return pages;
}

void LookAhead::LoadMore()
{
    // A site that changes its cookies with every page has each page ahead loaded twice:
    // the rest of its run goes one page at a time.
    if (!m_loadAhead || m_control.Cancelled() || m_reloaded > PagesOutOfSight::kPagesAhead) {
        CloseAll();
        return;
    }
    const QList<Page> next = Foresee();
    qsizetype kept = 0;
    while (kept < m_pages.size() && kept < next.size()
           && m_pages.at(kept).address == next.at(kept).address
           && m_pages.at(kept).seconds == next.at(kept).seconds)
        ++kept;
    while (m_pages.size() > kept)
        m_browser.CloseAhead(m_pages.takeLast().id);
    for (qsizetype i = kept; i < next.size(); ++i) {
        Page page = next.at(i);
        // A host that is not yet due has its page loaded in its turn.
        if (m_ports.transfer->Hosts().TakeTurn(page.address) > 0)
            return;
        page.id = m_browser.LoadAhead(page.address);
        if (page.id == 0)
            return;
        m_pages.append(page);
    }
}

std::optional<LookAhead::Page> LookAhead::TakeFirst(const QString &address, int seconds)
{
    if (m_pages.isEmpty())
        return std::nullopt;
    Page first = m_pages.takeFirst();
    if (first.address == address && first.seconds == seconds)
        return first;
    // Fields edited since it started: this turn loads the page the run asks for now.
    m_browser.CloseAhead(first.id);
    return std::nullopt;
}

std::optional<qint64> LookAhead::ShowInItsTurn(const QString &address, int seconds, bool again)
{
    m_shown = 0;
    // Loaded again, the page is not the next page ahead's to take.
    const std::optional<Page> ahead = again ? std::nullopt : TakeFirst(address, seconds);
    // A page ahead whose request has yet to go out is as good as none.
    const qint64 loadingMs = ahead ? m_browser.AheadLoadingMs(ahead->id) : -1;
    if (loadingMs < 0) {
        if (ahead)
            m_browser.CloseAhead(ahead->id);
        return std::nullopt;
    }
    const PagesOutOfSight::Shown shown = m_browser.ShowAhead(ahead->id);
    m_reloaded = shown == PagesOutOfSight::Shown::Stale ? m_reloaded + 1 : 0;
    switch (shown) {
    case PagesOutOfSight::Shown::Loading:
        m_shown = ahead->id;
        return loadingMs;
    case PagesOutOfSight::Shown::Loaded:
        m_shown = ahead->id;
        return 0;
    case PagesOutOfSight::Shown::Stale:
        break;
    }
    return std::nullopt;
}

std::unique_ptr<DownloadsAhead> LookAhead::TakeDownloads(double number, const QStringList &links,
                                                         DownloadPlan &plan)
{
    std::optional<NextDownloads> next = std::exchange(m_next, std::nullopt);
    if (!next)
        return nullptr;
    const bool cookiesChanged = next->cookieChanges != m_browser.CookieChanges();
    m_nextDropped = cookiesChanged ? m_nextDropped + 1 : 0;
    if (cookiesChanged || next->page != m_shown || next->number != number || next->links != links)
        return nullptr;
    plan = std::move(next->plan);
    return std::move(next->ahead);
}

void LookAhead::PlanNext(const DownloadsAhead &current, const DownloadPlan &plan, qsizetype links)
{
    // Only once this page's links are all on their way, into room they leave; a site whose
    // cookies change with every download has its pages' downloads each in their own turn.
    if (plan.next < links || m_pages.isEmpty() || m_nextDropped > 1 || !SavesLinks(*m_ports.job))
        return;
    const Page &page = m_pages.constFirst();
    if ((!m_next || m_next->page != page.id) && !BeginNext(page))
        return;
    NextDownloads &next = *m_next;
    const JobSettings &job = *m_ports.job;
    // They go out as from the next page, as its own turn would send them.
    const PlannedPage planned{
        next.links.size(),
        [&](qsizetype index) { return ResolveLink(next.links.at(index), job, next.number); },
        next.position, next.location};
    m_planner.Plan(planned, *next.ahead, next.plan, current.InFlight(), plan.paths);
}

bool LookAhead::BeginNext(const Page &page)
{
    m_next.reset();
    const std::optional<PagesOutOfSight::AheadDocument> document = m_browser.LoadedAhead(page.id);
    if (!document)
        return false;
    NextDownloads next;
    next.page = page.id;
    next.number = page.number;
    next.position = page.position;
    next.location = document->location;
    scan::Observer observer;
    observer.cancelled = [this] { return m_control.Cancelled(); };
    if (scan::ScanLinks(document->markup, next.links, observer) == scan::Outcome::Cancelled)
        return false;
    linkrules::TrimList(next.links, runsteps::CriteriaOf(*m_ports.job));
    next.ahead = std::make_unique<DownloadsAhead>(*m_ports.transfer, *m_ports.files);
    next.cookieChanges = m_browser.CookieChanges();
    m_next = std::move(next);
    return true;
}
