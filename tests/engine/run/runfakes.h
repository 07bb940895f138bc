#pragma once

#include "diskfilestore.h"
#include "jobsettings.h"
#include "runports.h"
#include "scraperun.h"
#include "transfer/hostschedule.h"
#include "transfer/oneatatime.h"

#include <QEventLoop>
#include <QHash>
#include <QMap>
#include <QTimer>

#include <memory>

// Stand-ins for the window, the browser, the transfer and the prompt, recording what
// the run did to them.

inline const QString kTime = QStringLiteral("12:34:56");

struct FakeView final : RunView
{
    bool goEnabled = true, stopEnabled = false, busy = false;
    int statusPageShown = 0;
    QStringList log, statusTexts, captions, codeList;
    QString source;

    void SetGoEnabled(bool on) override { goEnabled = on; }
    void SetStopEnabled(bool on) override { stopEnabled = on; }
    void SetBusyPointer(bool on) override { busy = on; }
    void ShowStatusPage() override { ++statusPageShown; }
    int LogLineCount() const override { return static_cast<int>(log.size()); }
    void ClearLog() override { log.clear(); }
    std::function<void(const QString &line)> onLine; // as each line is appended
    void AppendLogLine(const QString &line) override
    {
        log.append(line);
        if (onLine)
            onLine(line);
    }
    void SetStatusText(const QString &text) override { statusTexts.append(text); }
    void SetLocationCaption(const QString &text) override { captions.append(text); }
    void SetSourceText(const QString &text) override { source = text; }
    void SetCodeList(const QStringList &links) override { codeList = links; }

    bool idle() const { return goEnabled && !stopEnabled && !busy; }
    // The log lines without their time of day.
    QStringList messages() const
    {
        QStringList result;
        for (const QString &line : log)
            result.append(line.mid(kTime.size() + 4));
        return result;
    }
};

struct FakePage
{
    LoadResult result = LoadResult::Succeeded;
    QString location; // where the load ends; empty: the address navigated to
    QString markup = QStringLiteral("<html></html>");
};

// Answers each navigation on the next turn of the event loop, like a real browser.
struct FakeBrowser final : PageBrowser, PagesOutOfSight
{
    ScrapeRun *run = nullptr;
    QMap<QString, FakePage> pages;
    bool answerUnknown = true; // addresses not in `pages` load an empty document
    bool holdMarkup = false;   // keep markup requests in `held` instead of answering
    QStringList navigated;
    QString location, markup;
    QList<std::function<void(const QString &)>> held;
    std::function<void(const QString &)> onNavigate;
    QObject context;

    void Navigate(const QString &address) override
    {
        navigated.append(address);
        if (onNavigate)
            onNavigate(address);
        if (!pages.contains(address) && !answerUnknown)
            return;
        const FakePage page = pages.value(address);
        QTimer::singleShot(0, &context, [this, address, page] {
            location = page.location.isEmpty() ? address : page.location;
            markup = page.markup;
            run->LoadEnded(page.result);
        });
    }
    QString LocationURL() const override { return location; }
    void RequestMarkup(std::function<void(const QString &)> deliver) override
    {
        if (holdMarkup)
            held.append(std::move(deliver));
        else
            QTimer::singleShot(0, &context, [deliver, text = markup] { deliver(text); });
    }
    void StopLoading() override {}
    TryAgain trouble = TryAgain::Never; // of every load that fails
    TryAgain LastTrouble() const override { return trouble; }

    // With loadsAhead, a page ahead is loaded the moment it is asked for.
    bool loadsAhead = false;
    QMap<AheadId, QString> ahead;
    AheadId lastAhead = 0;
    qsizetype mostAhead = 0; // at once
    AheadId LoadAhead(const QString &address) override
    {
        if (!loadsAhead)
            return 0;
        ahead.insert(++lastAhead, address);
        mostAhead = std::max(mostAhead, ahead.size());
        return lastAhead;
    }
    qint64 AheadLoadingMs(AheadId id) const override { return ahead.contains(id) ? 0 : -1; }
    Shown ShowAhead(AheadId id) override
    {
        Navigate(ahead.take(id));
        return Shown::Loading;
    }
    void CloseAhead(AheadId id) override { ahead.remove(id); }
    std::optional<AheadDocument> LoadedAhead(AheadId id) const override
    {
        if (!ahead.contains(id))
            return std::nullopt;
        return AheadDocument{ahead.value(id), pages.value(ahead.value(id)).markup};
    }
    quint64 CookieChanges() const override { return 0; }
};

struct FakeTransfer final : OneAtATimeTransfer, HostSchedule
{
    QHash<QString, Result> results; // addresses not here answer with ten bytes
    QStringList requested;
    QList<int> timeouts;
    int hangCount = 0;                    // this many calls wait until Cancel
    std::function<void()> whileOpen;      // runs inside a hanging call
    std::function<void()> whileAnswering; // runs inside every call, before it answers
    int depth = 0, maxDepth = 0, cancels = 0;
    QEventLoop *loop = nullptr;

    Result OpenURL(const Request &request) override
    {
        const QString &address = request.address;
        requested.append(address);
        maxDepth = std::max(maxDepth, ++depth);
        Result result{true, QByteArrayLiteral("0123456789"), 0, {}};
        if (whileAnswering)
            whileAnswering();
        if (hangCount > 0) {
            --hangCount;
            QEventLoop wait;
            loop = &wait;
            if (whileOpen)
                QTimer::singleShot(0, &wait, whileOpen);
            wait.exec();
            loop = nullptr;
            result = Result{false, {}, 1042, QStringLiteral("Cancelled")};
        } else if (results.contains(address)) {
            result = results.value(address);
        }
        --depth;
        return result;
    }
    int RequestTimeout() const override { return timeouts.isEmpty() ? 0 : timeouts.last(); }
    void SetRequestTimeout(int seconds) override { timeouts.append(seconds); }
    // Fetches started ahead and not yet finished or discarded, and the most at once.
    int outstanding = 0, maxOutstanding = 0;
    Ticket Start(const Request &request) override
    {
        maxOutstanding = std::max(maxOutstanding, ++outstanding);
        return OneAtATimeTransfer::Start(request);
    }
    Result Finish(Ticket ticket) override
    {
        --outstanding;
        return OneAtATimeTransfer::Finish(ticket);
    }
    void Discard(Ticket ticket) override
    {
        --outstanding;
        OneAtATimeTransfer::Discard(ticket);
    }
    // The hosts' turns: the answers TakeTurn gives, from the front; 0 once they run out. A
    // request that may pass goes again at once, `retries` times; `retriedAfter` has the tries
    // made before each.
    QList<qint64> turns;
    int retries = 0;
    QList<int> retriedAfter;
    HostSchedule &Hosts() override { return *this; }
    qint64 TakeTurn(const QString &) override { return turns.isEmpty() ? 0 : turns.takeFirst(); }
    void RequestEnded(const QString &) override {}
    qint64 RetryDelay(const QString &, int tries, TryAgain again) override
    {
        if (again == TryAgain::Never || tries >= retries)
            return -1;
        retriedAfter.append(tries);
        return 0;
    }
    bool StillExecuting() const override { return loop; }
    void Cancel() override
    {
        ++cancels; // the worker finishes a moment later, as a real one does
        if (loop)
            QTimer::singleShot(0, loop, &QEventLoop::quit);
    }
};

struct FakePrompt final : RunPrompt
{
    QList<bool> answers; // taken from the front; Yes once they run out
    QStringList texts;
    std::function<void()> whileAsking; // the user does this before answering

    bool AskContinue(const QString &text) override
    {
        texts.append(text);
        if (whileAsking)
            whileAsking();
        return answers.isEmpty() || answers.takeFirst();
    }
};

// A run among fakes, writing to the real file system, on the job http://h/d/p^N.htm.
struct RunRig
{
    PlainJobSettings job;
    FakeView view;
    FakeBrowser browser;
    FakeTransfer transfer;
    FakePrompt prompt;
    DiskFileStore files;
    bool refuse = false;
    std::unique_ptr<ScrapeRun> run;

    explicit RunRig(std::int32_t countFrom = 0, RunLedger *ledger = nullptr,
                    QList<RunObserver *> observers = {})
    {
        job.f.address = QStringLiteral("http://h/d/p^N.htm");
        job.f.defaultExtension = QStringLiteral("txt");
        job.f.timeOut = QStringLiteral("5");
        run = std::make_unique<ScrapeRun>(RunPorts{.job = &job,
                                                   .view = &view,
                                                   .browser = &browser,
                                                   .transfer = &transfer,
                                                   .prompt = &prompt,
                                                   .files = &files,
                                                   .errorCheck = [this] { return !refuse; },
                                                   .timeOfDay = [] { return kTime; },
                                                   .countFrom = countFrom,
                                                   .outOfSight = &browser,
                                                   .observers = std::move(observers),
                                                   .ledger = ledger});
        browser.run = run.get();
    }
};

// The text the Error prompt shows.
inline QString ErrorText(int code, const QString &description)
{
    return QStringLiteral("An error has occurred.\r\n\r\nError: ") + QString::number(code)
        + QStringLiteral("\r\nDescription: ") + description
        + QStringLiteral("\r\n\r\nWould you like to continue?");
}
