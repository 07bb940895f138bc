#include "unattendedrun.h"

#include "archive.h"
#include "browserengine.h"
#include "browseridentity.h"
#include "console.h"
#include "curltransfer.h"
#include "exitstatus.h"
#include "jobcheck.h"
#include "jobinput.h"
#include "journal.h"
#include "ledger.h"
#include "posixfile.h"
#include "runreport.h"
#include "safetext.h"
#include "scraperun.h"
#include "seriescursor.h"
#include "webbrowser.h"
#include "webpagebrowser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QNetworkCookie>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace unattended {

namespace {

void Print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

void Complain(const QString &message)
{
    // Messages quote the job and the server: nothing of them may drive the terminal.
    Print(stderr, u"linkhauler-run: "_s + safetext::Printable(message) + u'\n');
}

// SIGINT and SIGTERM reach the event loop through a pipe, so that they act as Stop does:
// between two steps of the run, never in the middle of one.
int signalPipe[2] = {-1, -1};
// Also set at once, for the waits that do not turn the event loop (a record's lock, the busy
// archive).
volatile std::sig_atomic_t stopSignalled = 0;

void OnStopSignal(int)
{
    stopSignalled = 1;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

bool StopSignalled()
{
    return stopSignalled != 0;
}

void CatchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that went away (a pipe into head) must not kill the run between a download
    // and its rename; the lines it would have read are lost, the files are not.
    std::signal(SIGPIPE, SIG_IGN);
}

// The browser engine's notices that it runs without a display, a graphics context or (as
// root) its sandbox: all expected here, and noise in a script's mail.
QtMessageHandler defaultHandler = nullptr;

void QuietEngineNotices(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const QLatin1StringView expected[] = {
        "Sandboxing disabled by user"_L1,
        "No suitable graphics backend found"_L1,
        "WebEngineContext used before QtWebEngineCore::initialize()"_L1,
        "QStandardPaths: XDG_RUNTIME_DIR not set"_L1,
    };
    if (type != QtCriticalMsg && type != QtFatalMsg)
        for (const QLatin1StringView start : expected)
            if (message.startsWith(start))
                return;
    defaultHandler(type, context, message);
}

// Each file the run writes for itself is no other file it was given or writes: a journal
// that is the job file would replace the job. The message names the two.
std::optional<QString> SharedFile(const RunSettings &settings)
{
    struct Named
    {
        QString name; // as the message names it, after "The " or "the "
        QString path;
    };
    // The files the run writes come first; the rest it only reads.
    const Named files[] = {
        {u"journal"_s, settings.journalFile},
        {u"archive"_s, settings.archiveFile},
        {u"--failed file"_s, settings.failedFile},
        {u"job file"_s, settings.jobFile},
    };
    constexpr int kWritten = 3;
    for (int i = 0; i < kWritten; ++i)
        for (int j = i + 1; j < int(std::size(files)); ++j)
            if (posixfile::SameFile(files[i].path, files[j].path))
                return u"The %1 \"%2\" is the same file as the %3."_s.arg(
                    files[i].name, files[i].path, files[j].name);
    return std::nullopt;
}

// The journal and the archive a long run asks for; false, with the message told, when one
// cannot be used.
bool OpenLongRunFiles(const RunSettings &settings, std::unique_ptr<Journal> &journal,
                      std::unique_ptr<Archive> &archive)
{
    QString error;
    if (const std::optional<QString> shared = SharedFile(settings)) {
        Complain(*shared);
        return false;
    }
    if (!settings.journalFile.isEmpty()) {
        journal = Journal::Open(
            settings.journalFile,
            {jobinput::JobObject(settings.job), settings.shard, settings.shards}, error);
        if (!journal) {
            Complain(error);
            return false;
        }
    }
    if (!settings.archiveFile.isEmpty()) {
        archive = Archive::Open(settings.archiveFile, error, StopSignalled);
        if (!archive) {
            Complain(error);
            return false;
        }
    }
    return true;
}

bool WriteFailedFile(const QString &path, const QByteArray &lines)
{
    // Owner-only, and whole or not at all; a symbolic link at the path is replaced, not
    // followed.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)
        && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        && file.write(lines) == lines.size() && file.commit())
        return true;
    Complain(u"The --failed file \"%1\" could not be written: %2"_s.arg(path, file.errorString()));
    return false;
}

} // namespace

int Run(const RunSettings &given)
{
    RunSettings settings = given;
    jobinput::MakeFoldersAbsolute(settings.job);
    QFile out;
    if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        Complain(u"Standard output cannot be written."_s);
        return exitstatus::kInvalid;
    }

    std::unique_ptr<Journal> journal;
    std::unique_ptr<Archive> archive;
    if (!OpenLongRunFiles(settings, journal, archive))
        return exitstatus::kInvalid;
    // Before anything is fetched, so that none of this run's own is taken for stale.
    if (!RemoveStaleTemporaries(settings, journal.get())) {
        Complain(journal->LastError());
        return exitstatus::kInvalid;
    }
    // A journal or archive that fails ends the run: what it would record would be lost.
    LongRunLedger ledger(settings, journal.get(), archive.get(), Complain);

    PlainJobSettings job(settings.job);
    QElapsedTimer clock;
    // Filled in once the report exists; the line asks for its text only when it ticks.
    const RunReport *counts = nullptr;
    ProgressLine progress(STDERR_FILENO, [&] {
        return ProgressText(counts ? counts->CurrentProgress() : Progress{}, clock.elapsed());
    });
    const bool showProgress = progress.Enabled() && !settings.quiet;
    // The line makes room for standard output only where that goes to the same terminal.
    const bool shareTerminal = showProgress && ::isatty(STDOUT_FILENO) == 1;
    const auto toStdout = [&](const QByteArray &line) {
        if (shareTerminal)
            progress.Around([&] { out.write(line); });
        else
            out.write(line);
    };

    std::optional<qint64> pages = linkrules::SeriesCursor::CountOf(job);
    if (pages)
        pages = ledger.PagesToVisit(*pages);
    RunReport report(pages, settings.onError == ErrorPolicy::Skip,
                     settings.json ? RunReport::JsonLine(toStdout) : RunReport::JsonLine());
    counts = &report;
    ConsoleRunView view(settings.json ? ConsoleRunView::Sink() : ConsoleRunView::Sink(toStdout));
    PolicyPrompt prompt(settings.onError);
    CurlTransfer inet;
    inet.SetPoliteness({settings.delayMs, settings.retries});
    LongRunFileStore files(journal.get(), ledger, StopSignalled);
    // Never shown: on the offscreen platform the page loads, renders and runs its scripts
    // all the same.
    WebBrowser browser;
    if (settings.delayMs > 0) {
        // A page's images and icon would go to its host at once, beside the delay; the links
        // they stand for are in the markup all the same.
        QWebEngineSettings *web = browser.View()->page()->profile()->settings();
        web->setAttribute(QWebEngineSettings::AutoLoadImages, false);
        web->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    }
    WebPageBrowser pageBrowser(browser);
    ScrapeRun run(RunPorts{
        .job = &job,
        .view = &view,
        .browser = &pageBrowser,
        .transfer = &inet,
        .prompt = &prompt,
        .files = &files,
        .countFrom = journal ? journal->ItemsSoFar() : 0,
        // With a delay between the requests to one host, a page loading ahead could go out
        // later than the turn it took: every page loads in its own turn.
        .outOfSight = settings.delayMs > 0 ? nullptr : &pageBrowser,
        .observers = {&ledger, &report},
        .ledger = &ledger,
    });
    // Pages loading ahead that a download's cookie would reach are loaded again in their turn.
    ShareBrowserIdentity(
        *browser.View()->page()->profile(), inet, &run,
        [&pageBrowser](const QNetworkCookie &cookie) { pageBrowser.CookieHandedToStore(cookie); });
    QObject::connect(&browser, &WebBrowser::DownloadComplete, &run, [&] {
        run.LoadEnded(browser.LastLoadOk() ? LoadResult::Succeeded : LoadResult::Failed);
    });

    bool interrupted = false;
    if (::pipe(signalPipe) != 0) {
        Complain(u"No pipe for the stop signals."_s);
        return exitstatus::kInvalid;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &run, [&] {
        char byte;
        [[maybe_unused]] const auto got = ::read(signalPipe[0], &byte, 1);
        interrupted = true;
        run.Stop();
    });
    // Only now: the browser engine resets signal handling while its first view is built.
    CatchStopSignals();

    clock.start();
    if (showProgress)
        progress.Start();
    // A signal that came while the engine started up leaves nothing to run.
    QCoreApplication::processEvents();
    if (!interrupted && !ledger.Faulted())
        run.Go();
    progress.Stop();

    const RunEnd end = interrupted              ? RunEnd::Interrupted
        : prompt.EndedRun() || ledger.Faulted() ? RunEnd::StoppedByFailure
                                                : RunEnd::Completed;
    if (ledger.EndedByKnown())
        report.SetEndNote(u"Ended after %1 kept links in a row known from the archive."_s.arg(
            settings.stopAfterKnown));
    report.Ended(end, run.ItemsDownloaded());
    Print(stderr, report.Summary());
    int status = report.ExitStatus();
    if (!settings.failedFile.isEmpty()
        && !WriteFailedFile(settings.failedFile, report.FailedAddresses())
        && status == exitstatus::kDone)
        status = exitstatus::kFailuresSkipped;
    return status;
}

int Main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine = ParseCommandLine(arguments);
    if (commandLine.action == CommandLine::Action::Exit) {
        if (commandLine.exitStatus == exitstatus::kDone)
            Print(stdout, commandLine.message);
        else
            Complain(commandLine.message);
        return commandLine.exitStatus;
    }
    if (const auto refused = CheckBeforeRun(commandLine.settings)) {
        Complain(*refused);
        return exitstatus::kInvalid;
    }

    // No display needed: the offscreen platform, unless the caller chose another one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareBrowserEngine();
    defaultHandler = qInstallMessageHandler(QuietEngineNotices);
    // The engine's report of its start-up parameters and the pages' console messages, unless
    // the caller asks for them.
    QLoggingCategory::setFilterRules(u"qt.webenginecontext.info=false\njs=false"_s);
    QApplication app(argc, argv);
    UseSystemProxy();
    QApplication::setApplicationName(u"Linkhauler"_s);
    QApplication::setApplicationVersion(QStringLiteral(LINKHAULER_VERSION));
    return Run(commandLine.settings);
}

} // namespace unattended
