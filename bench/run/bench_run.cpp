// Runs one real job on the real main window and prints what it cost.
//   bench_run [--window] [--shot <png>] [--shot-after <s>] <base URL> <first page> <last page>
//             <output folder> [links per page] [tick ms] [stop after s] [file bytes]
// The job: <base URL>/page/^N.htm for N = first..last, end criterion "bin", links saved to
// <output folder>/links, all HREFs into one file per page under <output folder>/hrefs.
// Pages load in the window's embedded browser, links through the libcurl transfer.
// Without --window the window lives on the offscreen platform (nothing is painted to a
// screen); with it, on the display in DISPLAY, painted as a user sees it. --shot saves a
// picture of the screen that many seconds (default 3) into the run.

#include "curltransfer.h"
#include "frmmain.h"
#include "loglist.h"
#include "loopbackbrowser.h"
#include "prompts.h"
#include "webbrowser.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

double Ms(qint64 ns)
{
    return static_cast<double>(ns) / 1e6;
}

// The libcurl transfer, timed: how long the run waits inside OpenURL and Finish.
class TimedTransfer final : public Transfer
{
public:
    Result OpenURL(const Request &request) override
    {
        return timed([&] { return m_curl.OpenURL(request); });
    }
    Ticket Start(const Request &request) override { return m_curl.Start(request); }
    Result Finish(Ticket ticket) override
    {
        return timed([&] { return m_curl.Finish(ticket); });
    }
    void Discard(Ticket ticket) override { m_curl.Discard(ticket); }
    int RequestTimeout() const override { return m_curl.RequestTimeout(); }
    void SetRequestTimeout(int seconds) override { m_curl.SetRequestTimeout(seconds); }
    void SetIdentity(const QByteArray &userAgent, const QByteArray &acceptLanguage) override
    {
        m_curl.SetIdentity(userAgent, acceptLanguage);
    }
    void SetCookie(const QByteArray &netscapeLine) override { m_curl.SetCookie(netscapeLine); }
    void OnCookieReceived(CookieReceived handler) override
    {
        m_curl.OnCookieReceived(std::move(handler));
    }
    HostSchedule &Hosts() override { return m_curl.Hosts(); }
    bool StillExecuting() const override { return m_curl.StillExecuting(); }
    void Cancel() override { m_curl.Cancel(); }

    qint64 totalNs = 0;
    qint64 maxNs = 0;
    int calls = 0;
    int failures = 0;

private:
    template<typename Call>
    Result timed(Call call)
    {
        QElapsedTimer clock;
        clock.start();
        Result result = call();
        const qint64 ns = clock.nsecsElapsed();
        totalNs += ns;
        maxNs = std::max(maxNs, ns);
        ++calls;
        if (!result.ok)
            ++failures;
        return result;
    }

    CurlTransfer m_curl;
};

// Answers the window's boxes without a person: Yes to the run's error question for the
// first few errors (so a stray failure shows in the count), No after that.
class BenchPrompts final : public Prompts
{
public:
    void MsgBox(const QString &text, const QString &title, Icon) override
    {
        std::fprintf(stderr, "box: %s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
        ++boxes;
    }
    bool YesNo(const QString &text, const QString &title) override
    {
        std::fprintf(stderr, "question: %s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
        ++questions;
        return questions <= 10;
    }
    QString InputBox(const QString &prompt, const QString &title) override
    {
        std::fprintf(stderr, "input: %s: %s\n", qUtf8Printable(title), qUtf8Printable(prompt));
        return {};
    }

    int boxes = 0;
    int questions = 0;
};

// What the run is doing, told by the status bar and the log, both of which the run sets
// synchronously; the time between two markers is charged to the earlier one's phase.
enum class Phase { Idle, PageLoad, Scan, Download, Between };

const char *PhaseName(Phase phase)
{
    switch (phase) {
    case Phase::Idle:
        return "idle";
    case Phase::PageLoad:
        return "page load";
    case Phase::Scan:
        return "link scan";
    case Phase::Download:
        return "file download";
    case Phase::Between:
        return "the rest (log lines, source text, filter)";
    }
    return "?";
}

struct Interval
{
    qint64 start = 0;
    qint64 end = 0;
};

// Time that [start, end] shares with the intervals (sorted, disjoint).
qint64 Overlap(const std::vector<Interval> &intervals, qint64 start, qint64 end)
{
    qint64 shared = 0;
    for (const Interval &interval : intervals) {
        if (interval.start >= end)
            break;
        const qint64 from = std::max(start, interval.start);
        const qint64 to = std::min(end, interval.end);
        if (to > from)
            shared += to - from;
    }
    return shared;
}

struct Gap
{
    qint64 start = 0;
    qint64 end = 0;
    Phase phase = Phase::Idle; // at the tick that opened the gap
    qint64 length() const { return end - start; }
};

class Probe final : public QObject
{
public:
    explicit Probe(qint64 tickMs) : m_tickMs(tickMs) { m_clock.start(); }

    qint64 now() const { return m_clock.nsecsElapsed(); }

    // A scan reports "Parsing source code: " from its first percentage to 100 %, all
    // without yielding: those two status changes bound it.
    void status(const QString &text)
    {
        const qint64 t = now();
        ++statusChanges;
        const bool parsing = text.startsWith(u"Parsing source code: "_s);
        if (parsing) {
            if (!m_scanOpen) {
                m_scanOpen = true;
                scans.push_back({t, t});
                enter(Phase::Scan, t);
            }
            if (text.endsWith(u"100%"_s))
                closeScan(t);
            return;
        }
        closeScan(t); // a scan cut short by Stop never reaches 100 %
        if (text.startsWith(u"Downloading source code: "_s))
            enter(Phase::PageLoad, t);
        else if (text.startsWith(u"Downloading: "_s))
            enter(Phase::Download, t);
        else
            enter(Phase::Between, t);
    }

    // The log lines before and after a scan give a wider bound: it also holds the work of
    // appending those two lines.
    void logLine(const QString &line)
    {
        const qint64 t = now();
        lastLogLine = line;
        ++logLines;
        const qsizetype arrow = line.indexOf(u" -> "_s);
        const QString message = arrow >= 0 ? line.mid(arrow + 4) : line;
        if (message.startsWith(u"Source code has been downloaded: "_s)) {
            ++pagesLogged;
            wideScans.push_back({t, t});
            m_wideOpen = true;
        } else if (message.startsWith(u"Source code has been parsed: "_s)) {
            if (m_wideOpen)
                wideScans.back().end = t;
            m_wideOpen = false;
        } else if (message.startsWith(u"Download complete: "_s)) {
            ++downloadsLogged;
        }
        enter(Phase::Between, t);
    }

    void startTicks()
    {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(static_cast<int>(m_tickMs));
        connect(&m_ticker, &QTimer::timeout, this, &Probe::tick);
        m_lastTick = now();
        m_phaseAtLastTick = m_phase;
        m_ticker.start();
    }

    // What the benchmark itself just did (a screenshot) is no gap of the run's.
    void forgetGap() { m_lastTick = now(); }

    void stopTicks()
    {
        tick(); // the stretch up to the run's return counts too
        m_ticker.stop();
        const qint64 t = now();
        enter(Phase::Idle, t);
        closeScan(t);
        if (m_wideOpen)
            wideScans.back().end = t;
    }

    // Every gap longer than this is kept for the analysis; shorter ones only feed the maximum.
    static constexpr qint64 kKeptGapNs = 20'000'000;

    std::vector<Gap> gaps;
    qint64 maxGapNs = 0;
    qint64 ticks = 0;
    std::vector<Interval> scans;     // status markers: the scan alone
    std::vector<Interval> wideScans; // log markers: the scan and two log appends
    std::map<Phase, qint64> phaseNs;
    std::map<Phase, qint64> phaseCount;
    QString lastLogLine;
    qint64 logLines = 0;
    qint64 pagesLogged = 0;
    qint64 downloadsLogged = 0;
    qint64 statusChanges = 0;

private:
    void tick()
    {
        const qint64 t = now();
        const qint64 gap = t - m_lastTick;
        ++ticks;
        maxGapNs = std::max(maxGapNs, gap);
        if (gap > kKeptGapNs)
            gaps.push_back({m_lastTick, t, m_phaseAtLastTick});
        m_lastTick = t;
        m_phaseAtLastTick = m_phase;
    }

    void closeScan(qint64 t)
    {
        if (m_scanOpen)
            scans.back().end = t;
        m_scanOpen = false;
    }

    void enter(Phase phase, qint64 t)
    {
        if (phase == m_phase)
            return;
        phaseNs[m_phase] += t - m_phaseStart;
        ++phaseCount[phase];
        m_phase = phase;
        m_phaseStart = t;
    }

    QElapsedTimer m_clock;
    qint64 m_tickMs;
    QTimer m_ticker;
    qint64 m_lastTick = 0;
    Phase m_phase = Phase::Idle;
    Phase m_phaseAtLastTick = Phase::Idle;
    qint64 m_phaseStart = 0;
    bool m_scanOpen = false;
    bool m_wideOpen = false;
};

// Reading the helpers' page tables costs CPU the run competes for (at 100 ms it took about 7%
// of a run without latency), so the tree is sampled only this often.
constexpr int kTreeSampleMs = 500;

// Resident memory of this process and of every process below it (the browser's helper
// processes), sampled on a thread of its own so that a busy event loop cannot hide a peak.
class TreeMemory
{
public:
    TreeMemory()
        : m_thread([this] {
            while (!m_stop.load()) {
                sample();
                std::this_thread::sleep_for(std::chrono::milliseconds(kTreeSampleMs));
            }
        })
    {
    }
    ~TreeMemory() { stop(); }
    TreeMemory(const TreeMemory &) = delete;
    TreeMemory &operator=(const TreeMemory &) = delete;

    void stop()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }

    qint64 peakTreeRssKb = 0;
    qint64 peakTreePssKb = 0;
    int peakProcesses = 0;

private:
    static qint64 Field(const QString &path, const QByteArray &key)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith(key))
                return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
        }
        return 0;
    }

    void sample()
    {
        // Parent of every process, then the tree below this one.
        std::multimap<qint64, qint64> children;
        const QStringList entries = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString &entry : entries) {
            bool number = false;
            const qint64 pid = entry.toLongLong(&number);
            if (!number)
                continue;
            QFile stat(u"/proc/"_s + entry + u"/stat"_s);
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const qsizetype close = text.lastIndexOf(')');
            if (close < 0)
                continue;
            const QList<QByteArray> fields = text.mid(close + 2).split(' ');
            if (fields.size() > 1)
                children.emplace(fields.at(1).toLongLong(), pid);
        }
        std::vector<qint64> tree{static_cast<qint64>(getpid())};
        for (std::size_t i = 0; i < tree.size(); ++i) {
            const auto [from, to] = children.equal_range(tree[i]);
            for (auto it = from; it != to; ++it)
                tree.push_back(it->second);
        }
        qint64 rss = 0;
        qint64 pss = 0;
        for (const qint64 pid : tree) {
            const QString base = u"/proc/"_s + QString::number(pid);
            rss += Field(base + u"/status"_s, "VmRSS:");
            pss += Field(base + u"/smaps_rollup"_s, "Pss:");
        }
        peakTreeRssKb = std::max(peakTreeRssKb, rss);
        peakTreePssKb = std::max(peakTreePssKb, pss);
        peakProcesses = std::max(peakProcesses, static_cast<int>(tree.size()));
    }

    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

template<typename T>
T *Child(QWidget &window, const char *name)
{
    T *widget = window.findChild<T *>(QString::fromLatin1(name));
    if (!widget) {
        std::fprintf(stderr, "bench_run: the window has no %s\n", name);
        std::exit(2);
    }
    return widget;
}

void Tick(QCheckBox *box, bool on)
{
    if (box->isChecked() != on)
        box->click(); // the click runs the window's interlock handler
}

// Waits for the first finished load of a browser, at most `ms`.
void AwaitFirstLoad(WebBrowser *browser, int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QObject::connect(browser, &WebBrowser::DownloadComplete, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop for `ms`, so that what changed gets painted.
void Settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits until the window is on the screen, at most `ms`.
void AwaitExposed(QWidget &window, int ms)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        const QWindow *handle = window.windowHandle();
        if ((handle && handle->isExposed()) || clock.hasExpired(ms))
            loop.quit();
    });
    poll.start(10);
    loop.exec();
}

// The run's log lines as the window's log receives them: the one place that knows the
// log's widget.
void WatchLog(QWidget &window, Probe &probe)
{
    auto *log = Child<LogList>(window, "lstLog");
    QObject::connect(log, &LogList::linesAppended, &probe, [&probe, log](int first, int last) {
        for (int row = first; row <= last; ++row)
            probe.logLine(log->Line(row));
    });
}

// The Status/View page with its Source Code tab, as a run shows it after Go.
void ShowSourceView(QWidget &window)
{
    Child<QTabWidget>(window, "tabMain")
        ->setCurrentWidget(Child<QWidget>(window, "pageStatusView"));
    Child<QTabWidget>(window, "tabStatusView")
        ->setCurrentWidget(Child<QWidget>(window, "pageSourceCode"));
}

// Which page of each tab widget is current, and whether the source view is on screen.
QString Shown(QWidget &window)
{
    const auto *tabMain = Child<QTabWidget>(window, "tabMain");
    const auto *tabStatusView = Child<QTabWidget>(window, "tabStatusView");
    return u"%1 > %2, source view %3"_s.arg(
        tabMain->tabText(tabMain->currentIndex()),
        tabStatusView->tabText(tabStatusView->currentIndex()),
        Child<QPlainTextEdit>(window, "rtfCode")->isVisible() ? u"visible"_s : u"hidden"_s);
}

// The screen as it is, or the window's own picture where there is no screen to grab.
bool SaveShot(QWidget &window, const QString &path)
{
    const QPixmap picture = QGuiApplication::platformName() == u"offscreen"_s || !window.screen()
        ? window.grab()
        : window.screen()->grabWindow(0);
    return picture.save(path, "PNG");
}

struct Options
{
    bool window = false;
    QString shot;
    int shotAfterS = 3;
    std::vector<const char *> args; // the positional ones
};

Options ParseOptions(int argc, char *argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--window") == 0)
            options.window = true;
        else if (std::strcmp(argv[i], "--shot") == 0 && i + 1 < argc)
            options.shot = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--shot-after") == 0 && i + 1 < argc)
            options.shotAfterS = std::max(0, std::atoi(argv[++i]));
        else
            options.args.push_back(argv[i]);
    }
    return options;
}

struct Output
{
    qint64 files = 0;
    qint64 bytes = 0;
    qint64 wrongSize = 0;
    qint64 hrefRecords = 0;
    qint64 hrefFiles = 0;
};

Output CountOutput(const QString &links, const QString &hrefs, qint64 fileBytes)
{
    Output out;
    QDirIterator linkFiles(links, QDir::Files | QDir::Hidden);
    while (linkFiles.hasNext()) {
        linkFiles.next();
        ++out.files;
        out.bytes += linkFiles.fileInfo().size();
        if (fileBytes >= 0 && linkFiles.fileInfo().size() != fileBytes)
            ++out.wrongSize;
    }
    QDirIterator hrefFiles(hrefs, QDir::Files | QDir::Hidden);
    while (hrefFiles.hasNext()) {
        QFile file(hrefFiles.next());
        ++out.hrefFiles;
        if (file.open(QIODevice::ReadOnly))
            out.hrefRecords += file.readAll().count("\r\n");
    }
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    const Options options = ParseOptions(argc, argv);
    const std::vector<const char *> &args = options.args;
    if (args.size() < 4) {
        std::fprintf(
            stderr,
            "usage: bench_run [--window] [--shot <png>] [--shot-after <s>] <base URL> <first page> "
            "<last page> <output folder> [links per page] [tick ms] [stop after s] [file bytes]\n");
        return 2;
    }
    if (options.window) {
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen")
            qunsetenv("QT_QPA_PLATFORM");
        if (qEnvironmentVariableIsEmpty("DISPLAY")
            && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            std::fprintf(stderr, "bench_run: --window needs a display; run it under xvfb-run\n");
            return 2;
        }
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The window's browser starts at an internet address: it must not reach it.
    PrepareLoopbackBrowser();
    QApplication app(argc, argv);

    const auto arg = [&args](std::size_t at, long fallback) {
        return at < args.size() ? std::atol(args[at]) : fallback;
    };
    const QString base = QString::fromLocal8Bit(args[0]);
    const long first = arg(1, 0);
    const long last = arg(2, 0);
    const QString outFolder = QDir(QString::fromLocal8Bit(args[3])).absolutePath();
    const qint64 linksPerPage = arg(4, 25);
    const qint64 tickMs = std::max(0L, arg(5, 5));
    // 0: no limit. Otherwise Stop is pressed then, and the figures cover the part done.
    const qint64 stopAfterS = std::max(0L, arg(6, 0));
    // The size every saved file must have; below 0, sizes are not checked.
    const qint64 fileBytes = arg(7, -1);
    if (last < first || first < 0 || linksPerPage < 0) {
        std::fprintf(stderr, "bench_run: pages %ld..%ld make no run\n", first, last);
        return 2;
    }
    const qint64 pages = last - first + 1;

    // Fresh output folders, so that every file counted is this run's.
    const QString links = outFolder + u"/links"_s;
    const QString hrefs = outFolder + u"/hrefs"_s;
    for (const QString &folder : {links, hrefs}) {
        QDir(folder).removeRecursively();
        if (!QDir().mkpath(folder)) {
            std::fprintf(stderr, "bench_run: cannot make %s\n", qUtf8Printable(folder));
            return 2;
        }
    }

    // Leave the user's settings alone; not a first start, so no help pane.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    {
        QSettings settings(u"Linkhauler"_s, u"Linkhauler"_s);
        settings.setValue(u"Settings/ShowHelp"_s, u"False"_s);
    }

    TimedTransfer inet;
    BenchPrompts prompts;
    frmMain window(inet);
    window.SetPrompts(&prompts);
    window.show();
    if (options.window)
        AwaitExposed(window, 5000);
    // Let the start-up loads end before the clock starts.
    AwaitFirstLoad(Child<WebBrowser>(window, "Browser"), 15000);

    // The job, through the controls.
    Child<QLineEdit>(window, "txtAddress")->setText(base + u"/page/^N.htm"_s);
    Tick(Child<QCheckBox>(window, "chkIncNum"), true);
    Tick(Child<QCheckBox>(window, "chkIncAlpha"), false);
    Child<QLineEdit>(window, "txtStartNum")->setText(QString::number(first));
    Child<QLineEdit>(window, "txtStopNum")->setText(QString::number(last));
    Child<QLineEdit>(window, "txtIncrementNumerically")->setText(u"1"_s);
    auto *lstEnd = Child<QListWidget>(window, "lstEnd");
    lstEnd->clear();
    lstEnd->addItem(u"bin"_s);
    Child<QLineEdit>(window, "txtDefaultExtension")->setText(u"bin"_s);
    Tick(Child<QCheckBox>(window, "chkOverwrite"), false);
    Tick(Child<QCheckBox>(window, "chkSaveLinks"), true);
    Child<QLineEdit>(window, "txtSaveLinks")->setText(links);
    Tick(Child<QCheckBox>(window, "chkSaveHREFs"), true);
    Child<QRadioButton>(window, "optAllHREFsOneFile")->click();
    Child<QLineEdit>(window, "txtSaveHREFs")->setText(hrefs);

    ShowSourceView(window);
    Settle(300);
    const QScreen *screen = window.screen();
    std::printf(
        "platform              %s, window %dx%d%s\n",
        qUtf8Printable(QGuiApplication::platformName()), window.width(), window.height(),
        screen ? qUtf8Printable(
            u" on a %1x%2 screen"_s.arg(screen->size().width()).arg(screen->size().height()))
               : "");

    // Watch the run through what it shows.
    Probe probe(tickMs);
    auto *staMain = Child<QStatusBar>(window, "staMain");
    QObject::connect(staMain, &QStatusBar::messageChanged, &probe, &Probe::status);
    WatchLog(window, probe);

    // What the window shows part-way through, and a picture of it when asked.
    QString shownMidRun;
    bool shotSaved = false;
    qint64 shotNs = 0;
    QTimer midRun;
    midRun.setSingleShot(true);
    QObject::connect(&midRun, &QTimer::timeout, &window, [&] {
        shownMidRun = Shown(window);
        if (options.shot.isEmpty())
            return;
        const qint64 start = probe.now();
        shotSaved = SaveShot(window, options.shot);
        shotNs = probe.now() - start;
        probe.forgetGap();
    });
    midRun.start(options.shotAfterS * 1000);

    TreeMemory memory;
    probe.startTicks();
    auto *cmdStop = Child<QPushButton>(window, "cmdStop");
    bool stopped = false;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, cmdStop, [cmdStop, &stopped] {
        stopped = true;
        cmdStop->click();
    });
    if (stopAfterS > 0)
        limit.start(static_cast<int>(stopAfterS * 1000));
    const qint64 t0 = probe.now();
    Child<QPushButton>(window, "cmdGo")->click();
    limit.stop();
    midRun.stop();
    const qint64 t1 = probe.now();
    probe.stopTicks();
    memory.stop();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const Output out = CountOutput(links, hrefs, fileBytes);
    const double wall = Ms(t1 - t0) / 1000.0;

    std::printf("pages                 %lld (%ld..%ld)\n", static_cast<long long>(pages), first,
                last);
    std::printf("wall time             %.2f s\n", wall);
    if (probe.logLines == 0) {
        std::printf(
            "RESULT                no run: Go wrote no log line (is Go wired to the run?)\n");
        return 3;
    }
    std::printf("pages/s               %.1f (%lld pages logged as downloaded)\n",
                static_cast<double>(probe.pagesLogged) / wall,
                static_cast<long long>(probe.pagesLogged));
    std::printf("downloads/s           %.1f (%lld files written, %.1f MB)\n",
                static_cast<double>(out.files) / wall, static_cast<long long>(out.files),
                static_cast<double>(out.bytes) / 1e6);
    std::printf("HREF records          %lld in %lld files\n",
                static_cast<long long>(out.hrefRecords), static_cast<long long>(out.hrefFiles));
    std::printf("peak memory (self)    %.1f MB (ru_maxrss, this process only)\n",
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    std::printf("peak memory (tree)    %.1f MB RSS summed, %.1f MB PSS summed, %d processes "
                "(this process and the browser's helpers, sampled every %d ms)\n",
                static_cast<double>(memory.peakTreeRssKb) / 1024.0,
                static_cast<double>(memory.peakTreePssKb) / 1024.0, memory.peakProcesses,
                kTreeSampleMs);

    // Event-loop gaps.
    qint64 maxNoScan = 0;     // gaps that share no time with a scan
    qint64 maxRemainder = 0;  // any gap less the scan time inside it
    qint64 maxNoWideScan = 0; // gaps that share no time with a scan's wider log bound
    qint64 maxScanNs = 0;
    for (const Interval &scan : probe.scans)
        maxScanNs = std::max(maxScanNs, scan.end - scan.start);
    std::vector<Gap> gaps = probe.gaps;
    for (const Gap &gap : gaps) {
        const qint64 scanShare = Overlap(probe.scans, gap.start, gap.end);
        if (scanShare == 0)
            maxNoScan = std::max(maxNoScan, gap.length());
        maxRemainder = std::max(maxRemainder, gap.length() - scanShare);
        if (Overlap(probe.wideScans, gap.start, gap.end) == 0)
            maxNoWideScan = std::max(maxNoWideScan, gap.length());
    }
    // Gaps under the kept threshold only fed the overall maximum; the threshold bounds them.
    const auto shown = [](qint64 v) {
        return v <= Probe::kKeptGapNs ? u"<= %1"_s.arg(Ms(Probe::kKeptGapNs), 0, 'f', 1)
                                      : QString::number(Ms(v), 'f', 1);
    };
    std::printf("event loop            %lld ticks of a %lld ms timer; %zu gaps over %lld ms\n",
                static_cast<long long>(probe.ticks), static_cast<long long>(tickMs), gaps.size(),
                static_cast<long long>(Probe::kKeptGapNs / 1'000'000));
    std::printf("max gap               %.1f ms (all)\n", Ms(probe.maxGapNs));
    std::printf("max gap w/o scans     %s ms (gaps sharing no time with a scan: first "
                "\"Parsing source code: \" status to its \"100%%\")\n",
                qUtf8Printable(shown(maxNoScan)));
    std::printf("                      %s ms (any gap less the scan time inside it)\n",
                qUtf8Printable(shown(maxRemainder)));
    std::printf("                      %s ms (gaps sharing no time with a scan's log lines "
                "\"Source code has been downloaded\" .. \"parsed\")\n",
                qUtf8Printable(shown(maxNoWideScan)));
    std::printf("longest scan          %.2f ms (%zu scans)\n", Ms(maxScanNs), probe.scans.size());

    std::sort(gaps.begin(), gaps.end(),
              [](const Gap &a, const Gap &b) { return a.length() > b.length(); });
    for (std::size_t i = 0; i < std::min<std::size_t>(5, gaps.size()); ++i) {
        const Gap &gap = gaps[i];
        std::printf(
            "  gap %zu               %.1f ms at %.2f s, opened in %s, %.2f ms of it scanning\n",
            i + 1, Ms(gap.length()), Ms(gap.start - t0) / 1000.0, PhaseName(gap.phase),
            Ms(Overlap(probe.scans, gap.start, gap.end)));
    }

    // Where the time went.
    std::printf("time by phase         ");
    for (const auto &[phase, ns] : probe.phaseNs) {
        if (phase == Phase::Idle)
            continue;
        std::printf("%s %.2f s (%lld); ", PhaseName(phase), Ms(ns) / 1000.0,
                    static_cast<long long>(probe.phaseCount[phase]));
    }
    std::printf("\n");
    std::printf("transfer              %d OpenURL/Finish calls, %.2f s inside, longest %.1f ms, %d "
                "failed\n",
                inet.calls, Ms(inet.totalNs) / 1000.0, Ms(inet.maxNs), inet.failures);
    std::printf("boxes                 %d messages, %d questions\n", prompts.boxes,
                prompts.questions);
    std::printf("shown mid-run         %s\n",
                shownMidRun.isEmpty()
                    ? "(the run ended first)"
                    : qUtf8Printable(u"%1 (at %2 s)"_s.arg(shownMidRun).arg(options.shotAfterS)));
    if (!options.shot.isEmpty())
        std::printf("screenshot            %s (%.1f ms, left out of the gaps)\n",
                    shotSaved ? qUtf8Printable(options.shot) : "not taken", Ms(shotNs));

    std::printf("final log line        %s\n", qUtf8Printable(probe.lastLogLine));
    const QString doneTail = u"Done.  Items downloaded: "_s;
    const qsizetype at = probe.lastLogLine.indexOf(doneTail);
    const qint64 logged = at >= 0
        ? probe.lastLogLine.mid(at + doneTail.size()).chopped(1).toLongLong()
        : -1;
    const qint64 expectedItems = pages * linksPerPage;
    const bool ok = logged == expectedItems && out.files == expectedItems
        && out.hrefRecords == expectedItems && out.wrongSize == 0;
    if (stopped)
        std::printf("STOPPED               Stop pressed after %lld s: the figures cover %lld of "
                    "%lld pages\n",
                    static_cast<long long>(stopAfterS), static_cast<long long>(probe.pagesLogged),
                    static_cast<long long>(pages));
    std::printf("RESULT                %s: expected %lld items, log says %lld, %lld files, %lld "
                "HREF records",
                ok ? "OK" : "MISMATCH", static_cast<long long>(expectedItems),
                static_cast<long long>(logged), static_cast<long long>(out.files),
                static_cast<long long>(out.hrefRecords));
    if (fileBytes >= 0)
        std::printf(", %lld files not of %lld bytes", static_cast<long long>(out.wrongSize),
                    static_cast<long long>(fileBytes));
    std::printf("\n");
    std::fflush(stdout);
    return ok ? 0 : 1;
}
