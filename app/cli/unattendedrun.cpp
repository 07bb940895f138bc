#include "unattendedrun.h"

#include "archive.h"
#include "browserengine.h"
#include "browseridentity.h"
#include "console.h"
#include "curltransfer.h"
#include "exitstatus.h"
#include "headeredtransfer.h"
#include "jobcheck.h"
#include "jobinput.h"
#include "journal.h"
#include "ledger.h"
#include "posixfile.h"
#include "runlog.h"
#include "runreport.h"
#include "safetext.h"
#include "scraperun.h"
#include "stopsignals.h"
#include "unattendedidentity.h"
#include "unattendedversion.h"
#include "webbrowser.h"
#include "webpagebrowser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QNetworkCookie>
#include <QSaveFile>
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

// For the waits that do not turn the event loop (a record's lock, the busy archive).
bool StopSignalled()
{
    return StopSignals::Caught() != 0;
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
    // clang-format off
    const Named files[] = {
        {u"journal"_s, settings.journalFile},
        {u"archive"_s, settings.archiveFile},
        {u"--failed file"_s, settings.failedFile},
        {u"--log file"_s, settings.logFile},
        {u"--save-cookies file"_s, settings.saveCookiesFile},
        {u"job file"_s, settings.jobFile},
        {u"--cookies file"_s, settings.cookiesFile},
    };
    // clang-format on
    constexpr int kWritten = 5;
    constexpr int kSaveCookies = 4;
    constexpr int kCookies = 6;
    for (int i = 0; i < kWritten; ++i)
        for (int j = i + 1; j < int(std::size(files)); ++j) {
            // A session renewed during the run may go back where it came from.
            const bool cookiesBack = i == kSaveCookies && j == kCookies;
            if (!cookiesBack && posixfile::SameFile(files[i].path, files[j].path))
                return u"The %1 \"%2\" is the same file as the %3."_s.arg(
                    files[i].name, files[i].path, files[j].name);
        }
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
    // After the check that it is none of the run's other files.
    std::unique_ptr<RunLog> log;
    if (!settings.logFile.isEmpty()) {
        QString error;
        if (log = RunLog::Open(settings.logFile, Complain, error); !log) {
            Complain(error);
            return exitstatus::kInvalid;
        }
    }
    const auto complain = [&log](const QString &message) {
        Complain(message);
        if (log)
            log->Append(message);
    };

    // A journal or archive that fails ends the run: what it would record would be lost.
    QString fault;
    ScrapeRun *running = nullptr;
    LongRunLedger ledger(settings, journal.get(), archive.get(), [&](const QString &message) {
        fault = message;
        complain(message);
        if (running)
            running->Stop();
    });

    PlainJobSettings job(settings.job);
    QElapsedTimer clock;
    // Filled in once the report exists; the line asks for its text only when it ticks.
    const RunReport *counts = nullptr;
    ProgressLine progress(
        STDERR_FILENO,
        [&] {
            return ProgressText(counts ? counts->CurrentProgress() : Progress{}, clock.elapsed());
        },
        settings.quiet ? 0 : settings.progressEverySeconds);
    const bool showProgress = progress.Enabled() && !settings.quiet;
    // The line makes room for standard output only where that goes to the same terminal.
    const bool shareTerminal = showProgress && progress.OnTerminal()
        && ::isatty(STDOUT_FILENO) == 1;
    const auto toStdout = [&](const QByteArray &line) {
        if (shareTerminal)
            progress.Around([&] { out.write(line); });
        else
            out.write(line);
    };

    std::optional<qint64> pages = SeriesPages(job);
    if (pages)
        pages = ledger.PagesToVisit(*pages);
    RunReport report(pages, settings.onError == ErrorPolicy::Skip,
                     settings.json ? RunReport::JsonLine(toStdout) : RunReport::JsonLine());
    counts = &report;
    report.SetPosition([&ledger] { return ledger.Position(); });
    const bool linesToStdout = !settings.json && !settings.quiet;
    ConsoleRunView view([&](const QByteArray &line) {
        if (linesToStdout)
            toStdout(line);
        if (log)
            log->Append(QString::fromUtf8(line));
    });
    PolicyPrompt prompt(settings.onError);
    CurlTransfer inet;
    inet.SetPoliteness({settings.delayMs, settings.retries});
    HeaderedTransfer transfer(inet, settings.headers);
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
    // Before the downloads take the profile's user agent.
    RunIdentity identity(*browser.View()->page()->profile(), settings);
    WebPageBrowser pageBrowser(browser);
    RunPorts ports;
    ports.job = &job;
    ports.view = &view;
    PagesInTheirTurn pagesInTurn(pageBrowser);
    ports.browser = settings.delayMs > 0 ? static_cast<PageBrowser *>(&pagesInTurn) : &pageBrowser;
    ports.transfer = &transfer;
    ports.prompt = &prompt;
    ports.files = &files;
    ports.events = &report;
    ports.ledger = &ledger;
    ports.countFrom = journal ? journal->ItemsSoFar() : 0;
    ScrapeRun run(ports);
    running = &run;
    // Pages loading ahead that a download's cookie would reach are loaded again in their turn.
    ShareBrowserIdentity(
        *browser.View()->page()->profile(), transfer, &run,
        [&pageBrowser](const QNetworkCookie &cookie) { pageBrowser.CookieHandedToStore(cookie); });
    QObject::connect(&browser, &WebBrowser::DownloadComplete, &run, [&] {
        run.OnDownloadComplete(browser.LastLoadOk() ? LoadResult::Succeeded : LoadResult::Failed);
    });

    bool interrupted = false;
    // Only now: the browser engine resets signal handling while its first view is built.
    StopSignals stopSignals([&] {
        interrupted = true;
        run.Stop();
    });
    if (!stopSignals.Catching()) {
        Complain(u"No pipe for the stop signals."_s);
        return exitstatus::kInvalid;
    }
    // A reader that went away (a pipe into head) must not kill the run between a download
    // and its rename; the lines it would have read are lost, the files are not.
    std::signal(SIGPIPE, SIG_IGN);
    const auto stopped = [&interrupted] { return interrupted; };
    // Every cookie in the store, and so with the downloads too, before the first page.
    if (const std::optional<QString> refused = identity.LoadCookies(stopped)) {
        complain(*refused);
        return exitstatus::kInvalid;
    }

    clock.start();
    if (showProgress)
        progress.Start();
    // A signal that came while the engine started up leaves nothing to run.
    QCoreApplication::processEvents();
    if (!interrupted && fault.isEmpty())
        run.Go();
    progress.Stop();
    const std::optional<QString> cookiesLost = identity.SaveCookies(stopped);
    if (cookiesLost)
        complain(*cookiesLost);

    const RunEnd end = interrupted              ? RunEnd::Interrupted
        : prompt.EndedRun() || !fault.isEmpty() ? RunEnd::StoppedByFailure
                                                : RunEnd::Completed;
    if (ledger.EndedByKnown())
        report.SetEndNote(u"Ended after %1 kept links in a row known from the archive."_s.arg(
            settings.stopAfterKnown));
    report.Ended(end, run.ItemsDownloaded(), StopSignals::Caught());
    Print(stderr, report.Summary());
    if (log)
        log->Append(report.Summary());
    int status = report.ExitStatus();
    if (!settings.failedFile.isEmpty()
        && !WriteFailedFile(settings.failedFile, report.FailedAddresses())
        && status == exitstatus::kDone)
        status = exitstatus::kFailuresSkipped;
    // The log is the record of a run left unattended, and the cookies carry its session to the
    // next run: a run that lost either tells so.
    if (((log && log->Failed()) || cookiesLost) && status == exitstatus::kDone)
        status = exitstatus::kFailuresSkipped;
    return status;
}

int Main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine = ParseCommandLine(arguments);
    if (commandLine.action == CommandLine::Action::Version) {
        Print(stdout, VersionText());
        return exitstatus::kDone;
    }
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
    int status = exitstatus::kDone;
    {
        QApplication app(argc, argv);
        UseSystemProxy();
        QApplication::setApplicationName(u"Linkhauler"_s);
        QApplication::setApplicationVersion(QStringLiteral(LINKHAULER_VERSION));
        status = Run(commandLine.settings);
    }
    // Everything is written and the browser engine is down: the signal may end the process.
    if (const int signal = StopSignals::Caught())
        StopSignals::EndBy(signal);
    return status;
}

} // namespace unattended
