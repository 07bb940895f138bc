#include "pageloader.h"

#include "runcontrol.h"
#include "runports.h"
#include "runsteps.h"
#include "transfer/hostschedule.h"
#include "transfer/sameaddress.h"
#include "transfer/transfer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;
using runsteps::TimerInterval;

namespace {

// Used while a time-out was never set successfully.
constexpr int kFallbackPageSeconds = 60;

QString DoubleAmpersands(QString text)
{
    return text.replace(u'&', u"&&"_s);
}

} // namespace

PageLoader::PageLoader(PageBrowser &browser, Transfer &transfer, RunView &view, RunControl &control)
    : m_browser(browser)
    , m_transfer(transfer)
    , m_view(view)
    , m_control(control)
{
}

PageLoader::~PageLoader() = default;

PageLoader::Outcome PageLoader::Load(const QString &address)
{
    WaitOutcome outcome = WaitForPage(address, false);
    HostSchedule &hosts = m_transfer.Hosts();
    // A load that may pass is tried again for as long as the schedule allows.
    for (int tries = 0; outcome == WaitOutcome::TimedOut || outcome == WaitOutcome::Failed;
         ++tries) {
        const TryAgain again = outcome == WaitOutcome::TimedOut ? TryAgain::Later
                                                                : m_browser.LastTrouble();
        if (again == TryAgain::Never)
            break;
        hosts.RequestEnded(address);
        const qint64 delay = hosts.RetryDelay(address, tries, again);
        if (delay < 0)
            break;
        m_browser.StopLoading(); // a load that timed out is still under way
        outcome = Pause(delay) ? WaitForPage(address, true) : WaitOutcome::Stopped;
    }
    if (outcome != WaitOutcome::Stopped)
        hosts.RequestEnded(address);
    switch (outcome) {
    case WaitOutcome::Arrived:
        return Outcome::Arrived;
    case WaitOutcome::Stopped:
        throw runsteps::RunCancelled{};
    case WaitOutcome::TimedOut:
        return Outcome::TimedOut;
    case WaitOutcome::Failed:
    case WaitOutcome::Waiting: // not returned
        break;
    }
    return Outcome::Failed;
}

PageLoader::WaitOutcome PageLoader::WaitForPage(const QString &address, bool again)
{
    // A download that ended before its turn came may still have cookies on their way to the
    // browser: they get there before this page is taken, ahead or not.
    QCoreApplication::processEvents();
    if (m_control.Cancelled())
        return WaitOutcome::Stopped;

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    const int seconds = m_transfer.RequestTimeout();
    const qint64 milliseconds = 1000LL * (seconds > 0 ? seconds : kFallbackPageSeconds);
    QObject::connect(&timer, &QTimer::timeout, &m_context,
                     [this] { EndWait(WaitOutcome::TimedOut); });

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
    const std::optional<qint64> loadingMs = m_ahead
        ? m_ahead->ShowInItsTurn(address, seconds, again)
        : std::nullopt;
    // Stop during the wait for the host's turn has ended the page's wait already.
    if (!loadingMs && WaitForTurn(address))
        m_browser.Navigate(address);
    timer.setInterval(loadingMs ? TimerInterval(milliseconds - *loadingMs) : wait.fullMs);
    m_view.SetLocationCaption(u"Loading: "_s + DoubleAmpersands(address));
    if (m_ahead)
        m_ahead->LoadMore();
    if (wait.outcome == WaitOutcome::Waiting) {
        timer.start();
        loop.exec();
    }
    if (wait.outcome == WaitOutcome::Waiting) {
        // The application told every event loop to end: it is quitting.
        m_control.RequestStop();
        return WaitOutcome::Stopped;
    }
    return wait.outcome;
}

void PageLoader::EndWait(WaitOutcome outcome)
{
    if (!m_wait || m_wait->outcome != WaitOutcome::Waiting)
        return;
    m_wait->outcome = outcome;
    m_wait->timer->stop();
    m_wait->loop->quit();
}

void PageLoader::Stop()
{
    EndWait(WaitOutcome::Stopped);
    if (m_pause)
        m_pause->quit();
}

void PageLoader::LoadEnded(LoadResult result)
{
    m_view.SetLocationCaption(DoubleAmpersands(m_browser.LocationURL()));

    const quint64 ticket = m_nextTicket++;
    if (m_wait && m_wait->outcome == WaitOutcome::Waiting) {
        if (result == LoadResult::Failed) {
            // A failure elsewhere is most likely an earlier load that this navigation cut
            // short; only the requested address failing ends the wait (the time-out
            // bounds the rest).
            if (SameAddress(QUrl(m_browser.LocationURL(), QUrl::TolerantMode),
                            QUrl(m_wait->address, QUrl::TolerantMode)))
                EndWait(WaitOutcome::Failed);
        } else if (result == LoadResult::Succeeded && m_wait->timer->isActive()) {
            // The load is in; its markup gets the same time again to arrive.
            m_wait->timer->start(m_wait->fullMs);
        }
    }

    const bool succeeded = result == LoadResult::Succeeded;
    m_browser.RequestMarkup(
        [self = QPointer<QObject>(&m_context), this, ticket, succeeded](const QString &markup) {
            if (self)
                OnMarkup(ticket, succeeded, markup);
        });
}

void PageLoader::OnMarkup(quint64 ticket, bool fromSucceededLoad, const QString &markup)
{
    if (markup.isNull())
        return; // no document: the markup stays as it was
    // An earlier document answering late (a page left, or shown ahead and replaced since)
    // must not take the place of the markup the latest page's wait took.
    if (ticket < m_markupFrom || (m_wait && m_wait->outcome != WaitOutcome::Waiting))
        return;
    m_markup = markup;
    // The first load that completes after the navigation is the run's own, also when it ended
    // at another address (a redirect).
    if (m_wait && fromSucceededLoad && !markup.isEmpty())
        EndWait(WaitOutcome::Arrived);
}

bool PageLoader::WaitForTurn(const QString &address)
{
    for (qint64 ms = 0; (ms = m_transfer.Hosts().TakeTurn(address)) > 0;)
        if (!Pause(ms))
            return false;
    return true;
}

bool PageLoader::Pause(qint64 milliseconds)
{
    if (m_control.Cancelled())
        return false;
    QEventLoop loop;
    QTimer::singleShot(TimerInterval(milliseconds), &loop, &QEventLoop::quit);
    m_pause = &loop;
    const auto done = qScopeGuard([this] { m_pause = nullptr; });
    loop.exec();
    return !m_control.Cancelled();
}

void PageLoader::Yield()
{
    if (!m_sinceYield.hasExpired(kYieldMs))
        return;
    QCoreApplication::processEvents();
    m_sinceYield.start();
}
