#include "scraperun.h"

#include "downloadsahead.h"
#include "failurecodes.h"
#include "jobsettings.h"
#include "linkrules.h"
#include "numbers.h"
#include "runsteps.h"
#include "scan.h"
#include "transfer/transfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;
using runsteps::RunAbandoned;
using runsteps::RunCancelled;
using runsteps::SeriesCut;
using runsteps::TrimSpaces;

namespace {

// Codes of the failures the run itself finds; a rule or a transfer brings its own.
using failurecodes::kSubscriptOutOfRange;
using failurecodes::kTypeMismatch;
constexpr int kPageNotLoaded = 1001;
constexpr int kPageTimedOut = 1002;

// Used while a time-out was never set successfully.
constexpr int kFallbackPageSeconds = 60;

// Pages the run does not visit that foreseeing the next pages looks past, at most.
constexpr qint64 kMostPassedAhead = 100000;

// Downloads fetched ahead may all be in already: the window still gets its turn this often.
constexpr qint64 kYieldMilliseconds = 20;

QString DoubleAmpersands(QString text)
{
    return text.replace(u'&', u"&&"_s);
}

// The browser may hand back an address in its normal form (lower-case host, a slash
// for an empty path), so equal texts or equal normal forms count as the same address.
bool SameAddress(const QString &location, const QString &requested)
{
    if (location == requested)
        return true;
    const auto normal = [](const QString &text) {
        return QUrl(text, QUrl::TolerantMode)
            .adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash);
    };
    const QUrl a = normal(location);
    return a.isValid() && a == normal(requested);
}

linkrules::Criteria CriteriaOf(const JobSettings &job)
{
    linkrules::Criteria criteria;
    criteria.beginning = job.lstBeginning();
    criteria.interior = job.lstInterior();
    criteria.end = job.lstEnd();
    criteria.or1 = job.optOr1();
    criteria.or2 = job.optOr2();
    return criteria;
}

QString NotANumber(const QString &field, const QString &text)
{
    return u"Type mismatch: %1 \"%2\" is not a number."_s.arg(field, text);
}

// The time-out a text sets, in whole seconds; none for a text the run refuses.
std::optional<int> TimeOutSeconds(const QString &text)
{
    const auto value = numbers::ToNumber(text);
    const auto seconds = value ? numbers::ToInt32(*value) : std::nullopt;
    if (!seconds || *seconds <= 0)
        return std::nullopt;
    return *seconds;
}

// The entry of the letter table a letter loop's value stands for; none when out of range.
std::optional<QString> LetterAt(double value)
{
    const double position = numbers::RoundHalfEven(value);
    if (!(position >= 0 && position < static_cast<double>(linkrules::Letters().size())))
        return std::nullopt;
    return linkrules::Letters()[static_cast<std::size_t>(position)];
}

// The browser goes to an address that differs from the one before only in its fragment
// without loading anything: such a page cannot be loaded ahead.
bool SameDocument(const QString &before, const QString &address)
{
    const QUrl next(address, QUrl::TolerantMode);
    return next.hasFragment()
        && QUrl(before, QUrl::TolerantMode).adjusted(QUrl::RemoveFragment)
        == next.adjusted(QUrl::RemoveFragment);
}

int TimerInterval(qint64 milliseconds)
{
    return static_cast<int>(std::clamp<qint64>(milliseconds, 0, std::numeric_limits<int>::max()));
}

// The address as the page is navigated to: spaces become %20.
QString Navigated(const QString &address)
{
    return QString(address).replace(u' ', u"%20"_s);
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
    m_pagePosition = m_nextPosition = 0;
    const auto series = qScopeGuard([this] {
        m_next.reset();
        CloseAllAhead();
        m_letterLoop.reset();
        m_numberLoop.reset();
    });

    try {
        LetterLoop();
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

void ScrapeRun::LetterLoop()
{
    const JobSettings &job = *m_ports.job;
    const QString incrementText = job.txtIncrementAlphabetically();
    const auto increment = numbers::ToNumber(incrementText);
    const int last = linkrules::GetAsc(job.txtStopAlpha()).value_or(0);
    const int first = linkrules::GetAsc(job.txtStartAlpha()).value_or(0);
    if (!increment) {
        // Yes: without a letter series there are no pages; the run goes on to its end.
        Failure(kTypeMismatch, NotANumber(u"the letter increment"_s, incrementText));
        return;
    }

    for (numbers::CountingLoop loop(first, last, 2 * *increment); loop.running(); loop.advance()) {
        m_letterLoop = loop;
        m_numberLoop.reset();
        CheckPoint();
        ApplyTimeOut();
        const std::optional<QString> letter = LetterAt(loop.value());
        if (!letter) {
            Failure(kSubscriptOutOfRange, u"Subscript out of range"_s);
            continue;
        }
        NumberLoop(*letter);
    }
}

void ScrapeRun::NumberLoop(const QString &letter)
{
    const JobSettings &job = *m_ports.job;
    const QString startText = job.txtStartNum();
    const QString stopText = job.txtStopNum();
    const QString stepText = job.txtIncrementNumerically();
    const auto first = numbers::ToNumber(startText);
    const auto last = numbers::ToNumber(stopText);
    const auto step = numbers::ToNumber(stepText);
    if (!first || !last || !step) {
        // Yes: this letter has no number series; on to the next letter.
        const QString description = !first ? NotANumber(u"the start number"_s, startText)
            : !last                        ? NotANumber(u"the stop number"_s, stopText)
                                           : NotANumber(u"the number increment"_s, stepText);
        Failure(kTypeMismatch, description);
        return;
    }

    m_letter = letter;
    for (numbers::CountingLoop loop(*first, *last, *step); loop.running(); loop.advance()) {
        m_numberLoop = loop;
        m_currentNumber = loop.value();
        CheckPoint();
        m_pagePosition = m_nextPosition++;
        if (!Ledger().VisitsPage(m_pagePosition))
            continue;
        ApplyTimeOut();
        Ledger().PageStarted(m_pagePosition);
        VisitPage(letter, m_currentNumber);
        Ledger().PageHandled(m_pagePosition, m_itemsDownloaded);
    }
}

void ScrapeRun::VisitPage(const QString &letter, double number)
{
    m_pageMarkup.clear();
    m_lstCode.clear();
    m_ports.view->SetCodeList(m_lstCode);

    const QString address = PageAddress(letter, number);
    // Between pages a failure belongs to no address.
    const auto leftPage = qScopeGuard([this] { m_stepAddress.clear(); });
    if (!RetrievePage(address))
        return; // a page that could not be loaded contributes no links
    ExtractLinks();
    // The page's links are fetched as the browser would fetch them from the page shown.
    const QString shown = m_ports.browser->LocationURL();
    const QString referrer = shown.isEmpty() ? address : shown;
    m_ports.transfer->SetReferrer(referrer);

    PagePlan plan;
    const std::unique_ptr<DownloadsAhead> ahead = DownloadsOfThisPage(number, plan);
    m_sinceYield.start();
    const qsizetype count = m_lstCode.size();
    for (qsizetype i = 0; i < count; ++i) {
        CheckPoint();
        plan.next = std::max(plan.next, i);
        PlanAhead(*ahead, plan);
        PlanNextPage(*ahead, plan, referrer);
        SaveLink(m_lstCode.at(i), i, *ahead);
        YieldNow();
    }
}

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

void ScrapeRun::PlanNextPage(const DownloadsAhead &current, const PagePlan &plan,
                             const QString &referrer)
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
    // They go out as from the next page, as its own turn would send them.
    m_ports.transfer->SetReferrer(next.location);
    const auto back = qScopeGuard([&] { m_ports.transfer->SetReferrer(referrer); });
    while (next.plan.next < next.links.size()
           && current.Held() + next.ahead->Held() < Transfer::MaxParallel) {
        const qsizetype index = next.plan.next++;
        const QString &link = next.links.at(index);
        QString path, address;
        try {
            path = linkrules::GetFilename(link, job.txtSaveLinks(), next.number,
                                          job.txtDefaultExtension());
            address = TrimSpaces(linkrules::GetPath(link, job.txtAddress()));
        } catch (const linkrules::RuleError &) {
            continue; // its turn reports the rule's failure
        }
        // Without overwriting, a name this page or the next took first is there by its turn.
        if ((!overwrite && (plan.paths.contains(path) || next.plan.paths.contains(path)))
            || KeepsExisting(path)
            || Ledger().LinkHeld(next.position, address, path) != RunLedger::Held::No)
            continue;
        next.plan.paths.insert(path);
        next.ahead->Offer(index, address, path);
    }
}

QString ScrapeRun::PageAddress(const QString &letter, double number) const
{
    QString address = m_ports.job->txtAddress();
    address.replace(u"^L"_s, letter);
    address.replace(u"^N"_s, numbers::ToText(number));
    return TrimSpaces(address);
}

QList<ScrapeRun::PageAhead> ScrapeRun::ForeseePages() const
{
    // The loops' own bounds as they read them, the fields a later loop or page reads as they
    // are now: a page whose turn finds other values is loaded again then.
    QList<PageAhead> pages;
    const JobSettings &job = *m_ports.job;
    const std::optional<int> seconds = TimeOutSeconds(job.txtTimeOut());
    if (!m_letterLoop || !m_numberLoop || !seconds)
        return pages;
    numbers::CountingLoop letters = *m_letterLoop;
    numbers::CountingLoop pagesOfLetter = *m_numberLoop;
    QString letter = m_letter;
    QString before = Navigated(PageAddress(letter, pagesOfLetter.value()));
    qint64 position = m_pagePosition;
    pagesOfLetter.advance();
    // Letters without a single page could go round for ever; pages the run does not visit
    // take no turn, up to a bound.
    qint64 passed = 0;
    for (qint64 turn = 0; pages.size() < PageBrowser::kPagesAhead
         && turn - passed < 4 * PageBrowser::kPagesAhead && passed < kMostPassedAhead;
         ++turn) {
        if (pagesOfLetter.running()) {
            if (!Ledger().VisitsPage(++position)) {
                ++passed;
                pagesOfLetter.advance();
                continue;
            }
            const QString address = Navigated(PageAddress(letter, pagesOfLetter.value()));
            if (SameDocument(before, address))
                break;
            pages.append(PageAhead{0, address, *seconds, pagesOfLetter.value(), position});
            before = address;
            pagesOfLetter.advance();
            continue;
        }
        // What the next letter's turn would stop at with a question is as far as it goes.
        letters.advance();
        const std::optional<QString> next = letters.running() ? LetterAt(letters.value())
                                                              : std::nullopt;
        const auto first = numbers::ToNumber(job.txtStartNum());
        const auto last = numbers::ToNumber(job.txtStopNum());
        const auto step = numbers::ToNumber(job.txtIncrementNumerically());
        if (!next || !first || !last || !step)
            break;
        letter = *next;
        pagesOfLetter = numbers::CountingLoop(*first, *last, *step);
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
        if (m_ports.transfer->TakeTurn(page.address) > 0)
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

std::optional<qint64> ScrapeRun::StartPage(const QString &address, int seconds)
{
    m_shownAhead = 0;
    const std::optional<PageAhead> ahead = TakeAhead(address, seconds);
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
    for (qint64 ms = 0; (ms = m_ports.transfer->TakeTurn(address)) > 0;) {
        QEventLoop loop;
        QTimer::singleShot(TimerInterval(ms), &loop, &QEventLoop::quit);
        m_turnWait = &loop;
        const auto done = qScopeGuard([this] { m_turnWait = nullptr; });
        if (m_cancelRequested)
            return false;
        loop.exec();
        if (m_cancelRequested)
            return false;
    }
    return true;
}

void ScrapeRun::CloseAllAhead()
{
    for (const PageAhead &page : std::as_const(m_ahead))
        m_ports.browser->CloseAhead(page.id);
    m_ahead.clear();
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

    const WaitOutcome outcome = WaitForPage(navigated);
    if (outcome != WaitOutcome::Stopped)
        m_ports.transfer->RequestEnded(navigated);
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

ScrapeRun::WaitOutcome ScrapeRun::WaitForPage(const QString &address)
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
    const std::optional<qint64> loadingMs = StartPage(address, seconds);
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
            if (SameAddress(m_ports.browser->LocationURL(), m_wait->address))
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
