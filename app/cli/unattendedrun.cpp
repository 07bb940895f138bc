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
#include "limitedtransfer.h"
#include "posixfile.h"
#include "quotaledger.h"
#include "retryledger.h"
#include "runlog.h"
#include "runreport.h"
#include "safetext.h"
#include "scraperun.h"
#include "seriescursor.h"
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
        {u"--retry-failed file"_s, settings.retryFailedFile},
    };
    // clang-format on
    constexpr int kWritten = 5;
    constexpr int kFailed = 2;
    constexpr int kSaveCookies = 4;
    constexpr int kCookies = 6;
    constexpr int kRetryFailed = 7;
    for (int i = 0; i < kWritten; ++i)
        for (int j = i + 1; j < int(std::size(files)); ++j) {
            // A session renewed during the run may go back where it came from.
            // And the failures that remain where the ones tried came from.
            const bool cookiesBack = i == kSaveCookies && j == kCookies;
            const bool failedBack = i == kFailed && j == kRetryFailed;
            if (!cookiesBack && !failedBack && posixfile::SameFile(files[i].path, files[j].path))
                return u"The %1 \"%2\" is the same file as the %3."_s.arg(
                    files[i].name, files[i].path, files[j].name);
        }
    return std::nullopt;
}

// The journal, the archive and the log a run asks for, each optional.
struct LongRunFiles
{
    std::unique_ptr<Journal> journal;
    std::unique_ptr<Archive> archive;
    std::unique_ptr<RunLog> log;
};

// None, with the message told, when one cannot be used.
std::optional<LongRunFiles> OpenLongRunFiles(const RunSettings &settings)
{
    LongRunFiles files;
    QString error;
    if (const std::optional<QString> shared = SharedFile(settings)) {
        Complain(*shared);
        return std::nullopt;
    }
    if (!settings.journalFile.isEmpty()) {
        files.journal = Journal::Open(
            settings.journalFile,
            {jobinput::JobObject(settings.job), settings.shard, settings.shards}, error);
        if (!files.journal) {
            Complain(error);
            return std::nullopt;
        }
    }
    if (!settings.archiveFile.isEmpty()) {
        files.archive = Archive::Open(settings.archiveFile, error, StopSignalled);
        if (!files.archive) {
            Complain(error);
            return std::nullopt;
        }
    }
    return files;
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

// With a delay between the requests to one host, a page's images and icon would go to its host
// at once, beside the delay; the links they stand for are in the markup all the same.
WebBrowser &WithoutImagesIf(bool without, WebBrowser &browser)
{
    if (without) {
        QWebEngineSettings *web = browser.View()->page()->profile()->settings();
        web->setAttribute(QWebEngineSettings::AutoLoadImages, false);
        web->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    }
    return browser;
}

// With a delay between the requests to one host, each request waits for its turn.
bool Paced(const RunSettings &settings)
{
    return settings.delayMs > 0 || settings.delayMaxMs > 0;
}

// The --verbose line of one request.
QString RequestLine(const CurlTransfer::RequestReport &report)
{
    return u"Request: %1 %2 %3 bytes %4 ms."_s.arg(report.address, QString::number(report.status),
                                                   QString::number(report.bytes),
                                                   QString::number(report.durationMs));
}

// The pages this run visits, when the series ends by itself.
std::optional<qint64> PagesToVisit(const JobSettings &job, const LongRunLedger &ledger,
                                   const RetryLedger *retry)
{
    const std::optional<qint64> pages = linkrules::SeriesCursor::CountOf(job);
    if (!pages)
        return std::nullopt;
    return retry ? retry->PagesToVisit(*pages) : ledger.PagesToVisit(*pages);
}

// One checked job on the browser engine without a window, from its long-run files to its exit
// status. Its members are built in the order they depend on each other: none waits for a
// pointer to another filled in later.
class UnattendedRun final
{
public:
    UnattendedRun(const RunSettings &settings, QFile &out, LongRunFiles files);
    Q_DISABLE_COPY_MOVE(UnattendedRun)

    int Exec();

private:
    // A line for standard output, around the progress line where both share a terminal.
    void WriteOut(const QByteArray &line);
    int End(bool interrupted, bool cookiesLost);

    // On standard error and in the log.
    void Complain(const QString &message);

    const RunSettings &m_settings;
    QFile &m_out;
    const LongRunFiles m_longRunFiles;
    // A journal or archive that fails ends the run: what it would record would be lost.
    LongRunLedger m_ledger{m_settings, m_longRunFiles.journal.get(), m_longRunFiles.archive.get(),
                           [this](const QString &message) { Complain(message); }};
    RetryLedger m_retry{m_ledger, m_settings.retry};
    QuotaLedger m_quota{m_settings.retryFailedFile.isEmpty() ? static_cast<RunLedger &>(m_ledger)
                                                             : m_retry,
                        m_settings.quotaBytes};
    PlainJobSettings m_job{m_settings.job};
    QElapsedTimer m_clock;
    RunReport m_report;
    // The line asks for its text only when it ticks.
    ProgressLine m_progress{
        STDERR_FILENO,
        [this] { return ProgressText(m_report.CurrentProgress(), m_clock.elapsed()); },
        m_settings.quiet ? 0 : m_settings.progressEverySeconds};
    const bool m_showProgress = m_progress.Enabled() && !m_settings.quiet;
    // The line makes room for standard output only where that goes to the same terminal.
    const bool m_shareTerminal = m_showProgress && m_progress.OnTerminal()
        && ::isatty(STDOUT_FILENO) == 1;
    ConsoleRunView m_view;
    PolicyPrompt m_prompt{m_settings.onError};
    CurlTransfer m_inet;
    // The run's downloads, each under the limits of the options.
    LimitedTransfer m_downloads{
        m_inet,
        {m_settings.maxBytes, m_settings.maxSizeText,
         std::chrono::milliseconds(qint64(m_settings.maxTimeSeconds) * 1000)}};
    LongRunFileStore m_filesOnDisk{m_longRunFiles.journal.get(), m_ledger, StopSignalled};
    // Never shown: on the offscreen platform the page loads, renders and runs its scripts
    // all the same.
    WebBrowser m_browser;
    // Before the downloads take the profile's user agent.
    RunIdentity m_identity{*m_browser.View()->page()->profile(), m_settings};
    WebPageBrowser m_pageBrowser{WithoutImagesIf(Paced(m_settings), m_browser)};
    ScrapeRun m_run;
};

UnattendedRun::UnattendedRun(const RunSettings &settings, QFile &out, LongRunFiles files)
    : m_settings(settings)
    , m_out(out)
    , m_longRunFiles(std::move(files))
    , m_report(
          PagesToVisit(m_job, m_ledger, m_settings.retryFailedFile.isEmpty() ? nullptr : &m_retry),
          settings.onError == ErrorPolicy::Skip,
          settings.json ? RunReport::JsonLine([this](const QByteArray &line) { WriteOut(line); })
                        : RunReport::JsonLine())
    , m_view([this](const QByteArray &line) {
        if (!m_settings.json && !m_settings.quiet)
            WriteOut(line);
        if (m_longRunFiles.log)
            m_longRunFiles.log->Append(QString::fromUtf8(line));
    })
    , m_run(RunPorts{
          .job = &m_job,
          .view = &m_view,
          .browser = &m_pageBrowser,
          .transfer = &m_downloads,
          .prompt = &m_prompt,
          .files = &m_filesOnDisk,
          .countFrom = m_longRunFiles.journal ? m_longRunFiles.journal->ItemsSoFar() : 0,
          // With a delay between the requests to one host, a page loading ahead could go out
          // later than the turn it took: every page loads in its own turn.
          .outOfSight = Paced(settings) ? nullptr : &m_pageBrowser,
          .observers = {&m_ledger, &m_report, &m_quota, &m_retry},
          .ledger = &m_quota,
      })
{
    m_inet.SetPoliteness({settings.delayMs, settings.retries, settings.delayMaxMs});
    m_inet.SetRate(settings.rateBytesPerSecond);
    if (settings.verbose)
        m_inet.OnRequestReported([this](const CurlTransfer::RequestReport &report) {
            m_view.AppendLogLine(SystemTimeOfDay() + u" -> "_s + RequestLine(report));
        });
    // The options were checked: every line is one a request may carry.
    [[maybe_unused]] const bool headersTaken = m_inet.SetHeaders(settings.headers);
    Q_ASSERT(headersTaken);
    // Pages loading ahead that a download's cookie would reach are loaded again in their turn.
    ShareBrowserIdentity(
        *m_browser.View()->page()->profile(), m_inet, &m_run,
        [this](const QNetworkCookie &cookie) { m_pageBrowser.CookieHandedToStore(cookie); });
    QObject::connect(&m_browser, &WebBrowser::DownloadComplete, &m_run, [this] {
        m_run.LoadEnded(m_browser.LastLoadOk() ? LoadResult::Succeeded : LoadResult::Failed);
    });
}

void UnattendedRun::WriteOut(const QByteArray &line)
{
    if (m_shareTerminal)
        m_progress.Around([&] { m_out.write(line); });
    else
        m_out.write(line);
}

void UnattendedRun::Complain(const QString &message)
{
    unattended::Complain(message);
    if (m_longRunFiles.log)
        m_longRunFiles.log->Append(message);
}

int UnattendedRun::Exec()
{
    bool interrupted = false;
    // Only now: the browser engine resets signal handling while its first view is built.
    StopSignals stopSignals([&] {
        interrupted = true;
        m_run.Stop();
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
    if (const std::optional<QString> refused = m_identity.LoadCookies(stopped)) {
        Complain(*refused);
        return exitstatus::kInvalid;
    }

    m_clock.start();
    if (m_showProgress)
        m_progress.Start();
    // A signal that came while the engine started up leaves nothing to run.
    QCoreApplication::processEvents();
    if (!interrupted && !m_ledger.Faulted())
        m_run.Go();
    m_progress.Stop();
    const std::optional<QString> cookiesLost = m_identity.SaveCookies(stopped);
    if (cookiesLost)
        Complain(*cookiesLost);
    return End(interrupted, cookiesLost.has_value());
}

int UnattendedRun::End(bool interrupted, bool cookiesLost)
{
    const RunEnd end = interrupted                  ? RunEnd::Interrupted
        : m_prompt.EndedRun() || m_ledger.Faulted() ? RunEnd::StoppedByFailure
                                                    : RunEnd::Completed;
    if (m_ledger.EndedByKnown())
        m_report.SetEndNote(u"Ended after %1 kept links in a row known from the archive."_s.arg(
            m_settings.stopAfterKnown));
    if (m_quota.Reached())
        m_report.SetQuotaReached(u"Quota of %1 reached: %2 bytes saved."_s.arg(
            m_settings.quotaText, QString::number(m_quota.Saved())));
    m_report.Ended(end, m_run.ItemsDownloaded(), StopSignals::Caught());
    Print(stderr, m_report.Summary());
    RunLog *log = m_longRunFiles.log.get();
    if (log)
        log->Append(m_report.Summary());
    int status = m_report.ExitStatus();
    // What this run tried and what it did not reach, each once.
    QByteArray failed = m_report.FailedAddresses();
    if (!m_settings.retryFailedFile.isEmpty())
        for (const QByteArray &line : m_retry.Untried())
            if (!failed.startsWith(line) && !failed.contains('\n' + line))
                failed += line;
    if (!m_settings.failedFile.isEmpty() && !WriteFailedFile(m_settings.failedFile, failed)
        && status == exitstatus::kDone)
        status = exitstatus::kFailuresSkipped;
    // The log is the record of a run left unattended, and the cookies carry its session to the
    // next run: a run that lost either tells so.
    if (((log && log->Failed()) || cookiesLost) && status == exitstatus::kDone)
        status = exitstatus::kFailuresSkipped;
    return status;
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
    std::optional<LongRunFiles> files = OpenLongRunFiles(settings);
    if (!files)
        return exitstatus::kInvalid;
    // Before anything is fetched, so that none of this run's own is taken for stale.
    if (!RemoveStaleTemporaries(settings, files->journal.get())) {
        Complain(files->journal->LastError());
        return exitstatus::kInvalid;
    }
    // After the check that it is none of the run's other files.
    if (!settings.logFile.isEmpty()) {
        QString error;
        files->log = RunLog::Open(settings.logFile, Complain, error);
        if (!files->log) {
            Complain(error);
            return exitstatus::kInvalid;
        }
    }
    UnattendedRun run(settings, out, std::move(*files));
    return run.Exec();
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
