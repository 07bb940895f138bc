// The run's look ahead: the next pages of the series loading out of sight, taken in their
// turn, and the first files of the next page fetched while this page's last ones come in.

#include "scraperun.h"

#include "downloadsahead.h"
#include "jobsettings.h"
#include "linkrules.h"
#include "numbers.h"
#include "runsteps.h"
#include "scan.h"
#include "transfer/hostschedule.h"
#include "transfer/transfer.h"

#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace runsteps;

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

std::unique_ptr<DownloadsAhead> ScrapeRun::DownloadsOfThisPage(double number, PagePlan &plan)
{
    std::optional<NextDownloads> next = std::exchange(m_next, std::nullopt);
    // Fetched from the very markup this turn took and its links as they are filtered now, and
    // with every cookie the downloads before them brought; otherwise each link is fetched anew.
    const bool cookiesChanged = next && next->cookieChanges != m_ports.browser->CookieChanges();
    if (next)
        m_nextDropped = cookiesChanged ? m_nextDropped + 1 : 0;
    if (next && !cookiesChanged && next->page == m_shownAhead && next->number == number
        && next->links == m_lstCode) {
        plan = std::move(next->plan);
        return std::move(next->ahead);
    }
    return std::make_unique<DownloadsAhead>(*m_ports.transfer, *m_ports.files);
}

void ScrapeRun::PlanNextPage(const DownloadsAhead &current, const PagePlan &plan)
{
    // Only once this page's links are all on their way, into room they leave; a site whose
    // cookies change with every download has its pages' downloads each in their own turn.
    const JobSettings &job = *m_ports.job;
    if (plan.next < m_lstCode.size() || m_ahead.isEmpty() || m_nextDropped > 1
        || job.chkSaveLinks() != 1 || job.txtSaveLinks().isEmpty())
        return;
    const PageAhead &page = m_ahead.constFirst();
    if (!m_next || m_next->page != page.id) {
        m_next.reset();
        const std::optional<PageBrowser::AheadDocument> document = m_ports.browser->LoadedAhead(
            page.id);
        if (!document)
            return;
        NextDownloads next;
        next.page = page.id;
        next.number = page.number;
        next.position = page.position;
        next.location = document->location;
        scan::Observer observer;
        observer.cancelled = [this] { return m_cancelRequested; };
        if (scan::ScanLinks(document->markup, next.links, observer) == scan::Outcome::Cancelled)
            return;
        linkrules::TrimList(next.links, CriteriaOf(job));
        next.ahead = std::make_unique<DownloadsAhead>(*m_ports.transfer, *m_ports.files);
        next.cookieChanges = m_ports.browser->CookieChanges();
        m_next = std::move(next);
    }
    NextDownloads &next = *m_next;
    const bool overwrite = job.chkOverwrite() == 1;
    while (next.plan.next < next.links.size()
           && current.Held() + next.ahead->Held() < Transfer::MaxParallel) {
        const qsizetype index = next.plan.next++;
        const QString &link = next.links.at(index);
        QString path, address;
        try {
            path = linkrules::GetFilename(link, job.txtSaveLinks(), next.number,
                                          job.txtDefaultExtension());
            address = linkrules::TrimSpaces(linkrules::GetPath(link, job.txtAddress()));
        } catch (const linkrules::RuleError &) {
            continue; // its turn reports the rule's failure
        }
        // Without overwriting, a name this page or the next took first is there by its turn.
        if ((!overwrite && (plan.paths.contains(path) || next.plan.paths.contains(path)))
            || KeepsExisting(path)
            || Ledger().LinkHeld(next.position, address, path) != RunLedger::Held::No)
            continue;
        next.plan.paths.insert(path);
        // They go out as from the next page, as its own turn would send them.
        next.ahead->Offer(index, address, path, next.location);
    }
}

QList<ScrapeRun::PageAhead> ScrapeRun::ForeseePages() const
{
    // A copy of the series walks on with the fields as they are now: a page whose turn finds
    // other values is loaded again then.
    QList<PageAhead> pages;
    const std::optional<int> seconds = TimeOutSeconds(m_ports.job->txtTimeOut());
    if (!m_series || !seconds)
        return pages;
    linkrules::SeriesCursor series = *m_series;
    QString before = Navigated(series.AddressOf(m_page));
    // Letters without a single page could go round for ever; pages the run does not visit
    // take no turn, up to a bound.
    qint64 passed = 0;
    for (qint64 turn = 0; pages.size() < PageBrowser::kPagesAhead
         && turn - passed < 4 * PageBrowser::kPagesAhead && passed < kMostPassedAhead;
         ++turn) {
        const linkrules::SeriesCursor::Step step = series.Next();
        if (step.kind == linkrules::SeriesCursor::Step::Kind::Letter)
            continue;
        // What a later turn would stop at with a question is as far as it goes.
        if (step.kind != linkrules::SeriesCursor::Step::Kind::Page)
            break;
        if (!Ledger().VisitsPage(step.page.position)) {
            ++passed;
            continue;
        }
        const QString address = Navigated(series.AddressOf(step.page));
        if (SameDocument(before, address))
            break;
        pages.append(PageAhead{0, address, *seconds, step.page.number, step.page.position});
        before = address;
    }
    return pages;
}

void ScrapeRun::LoadPagesAhead()
{
    // A site that changes its cookies with every page has each page ahead loaded twice:
    // the rest of its run goes one page at a time.
    if (!m_loadAhead || m_cancelRequested || m_aheadReloaded > PageBrowser::kPagesAhead) {
        CloseAllAhead();
        return;
    }
    const QList<PageAhead> next = ForeseePages();
    qsizetype kept = 0;
    while (kept < m_ahead.size() && kept < next.size()
           && m_ahead.at(kept).address == next.at(kept).address
           && m_ahead.at(kept).seconds == next.at(kept).seconds)
        ++kept;
    while (m_ahead.size() > kept)
        m_ports.browser->CloseAhead(m_ahead.takeLast().id);
    for (qsizetype i = kept; i < next.size(); ++i) {
        PageAhead page = next.at(i);
        // A host that is not yet due has its page loaded in its turn.
        if (m_ports.transfer->Hosts().TakeTurn(page.address) > 0)
            return;
        page.id = m_ports.browser->LoadAhead(page.address);
        if (page.id == 0)
            return;
        m_ahead.append(page);
    }
}

std::optional<ScrapeRun::PageAhead> ScrapeRun::TakeAhead(const QString &address, int seconds)
{
    if (m_ahead.isEmpty())
        return std::nullopt;
    PageAhead first = m_ahead.takeFirst();
    if (first.address == address && first.seconds == seconds)
        return first;
    // Fields edited since it started: this turn loads the page the run asks for now.
    m_ports.browser->CloseAhead(first.id);
    return std::nullopt;
}

std::optional<qint64> ScrapeRun::StartPage(const QString &address, int seconds, bool again)
{
    m_shownAhead = 0;
    // Loaded again, the page is not the next page ahead's to take.
    const std::optional<PageAhead> ahead = again ? std::nullopt : TakeAhead(address, seconds);
    // A page ahead whose request has yet to go out is as good as none.
    const qint64 loadingMs = ahead ? m_ports.browser->AheadLoadingMs(ahead->id) : -1;
    if (loadingMs >= 0) {
        const PageBrowser::Ahead shown = m_ports.browser->ShowAhead(ahead->id);
        m_aheadReloaded = shown == PageBrowser::Ahead::Stale ? m_aheadReloaded + 1 : 0;
        if (shown != PageBrowser::Ahead::Stale)
            m_shownAhead = ahead->id;
        if (shown == PageBrowser::Ahead::Loading)
            return loadingMs;
        if (shown == PageBrowser::Ahead::Loaded)
            return 0;
    } else if (ahead) {
        m_ports.browser->CloseAhead(ahead->id);
    }
    // Stop during the wait for the host's turn has ended the page's wait already.
    if (WaitForTurn(address))
        m_ports.browser->Navigate(address);
    return std::nullopt;
}

bool ScrapeRun::WaitForTurn(const QString &address)
{
    for (qint64 ms = 0; (ms = m_ports.transfer->Hosts().TakeTurn(address)) > 0;)
        if (!Pause(ms))
            return false;
    return true;
}

bool ScrapeRun::Pause(qint64 milliseconds)
{
    if (m_cancelRequested)
        return false;
    QEventLoop loop;
    QTimer::singleShot(TimerInterval(milliseconds), &loop, &QEventLoop::quit);
    m_turnWait = &loop;
    const auto done = qScopeGuard([this] { m_turnWait = nullptr; });
    loop.exec();
    return !m_cancelRequested;
}

void ScrapeRun::CloseAllAhead()
{
    for (const PageAhead &page : std::as_const(m_ahead))
        m_ports.browser->CloseAhead(page.id);
    m_ahead.clear();
}
