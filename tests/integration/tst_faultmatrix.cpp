// Whole runs through the real main window against pages, links, names and folders that go
// wrong. Every row checks the log, the prompts and their answers, every entry under the
// folders' common parent byte for byte, and that the window is idle again in bounded time.
#include "curltransfer.h"
#include "fakes.h"
#include "frmmain.h"
#include "testhttpserver.h"
#include "wholerun.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A run that has not ended by then is stopped and the row fails.
constexpr int kRunMs = 20000;
// How often a row looks whether its moment to act has come.
constexpr int kActMs = 5;
// Every way out of a run is idle again by then.
constexpr int kIdleMs = 3000;
// The small file system's size, and how far the large link gets before Stop.
constexpr qint64 kMegabyte = 1 << 20;
// The file-size limit: above what the browser engine writes to its own shared memory.
constexpr qint64 kFileSizeLimit = 64 << 20;

// What the download folder is when the run starts.
enum class Disk {
    Folder,     // an empty folder
    Missing,    // not there, nor its parents
    ReadOnly,   // a folder that refuses writes, also to root
    AFile,      // a regular file
    SizeLimit,  // a folder, with the process's file-size limit at kFileSizeLimit
    SmallTmpfs, // a file system of kMegabyte bytes
};

// What happens to the window during the run.
enum class Act {
    None,
    StopMidBody,         // Stop once a temporary file holds a megabyte
    RemoveFolderMidBody, // the folder goes once the second link is in and the first is not
    CloseAtPageRequest,  // the window closes once the server has the page's request
    CloseMidBody,        // the window closes while the first link is coming in
    CloseAtPrompt,       // the window closes while the first prompt is up
};

// In texts, %BASE% is the server, %REFUSED% an address where nothing listens (ending in
// "/"), %RPORT% its port, %PAGE% the run's page address, @ the download folder and %TREE%
// the folder that holds it.
struct Row
{
    QString page{}; // the address; empty: a page holding links, at pageDir on the server
    QString pageDir{};
    QStringList links{};
    QString timeOut = u"10"_s;
    QList<bool> answers{};
    QStringList prompts{};             // "<code> <description>", in order
    QStringList log{};                 // the messages, without the time of day
    QMap<QString, QByteArray> files{}; // the download folder afterwards, by name
    Disk disk = Disk::Folder;
    Act act = Act::None;
};

// Everything below root by its relative path: a folder ends in "/" and has no bytes, a
// file has its bytes, a link or anything else is marked.
QMap<QString, QByteArray> Tree(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        const QString relative = QDir(root).relativeFilePath(info.filePath());
        if (info.isSymLink())
            tree.insert(relative, "<link>");
        else if (info.isDir())
            tree.insert(relative + u'/', {});
        else if (info.isFile())
            tree.insert(relative, ReadAll(info.filePath()));
        else
            tree.insert(relative, "<other>");
    }
    return tree;
}

// What differs between two trees, one line an entry; empty when they are the same.
QString TreeDifference(const QMap<QString, QByteArray> &expected,
                       const QMap<QString, QByteArray> &actual)
{
    QStringList lines;
    for (auto it = actual.begin(); it != actual.end(); ++it) {
        if (!expected.contains(it.key()))
            lines.append(u"unexpected: "_s + it.key() + u" (%1 bytes)"_s.arg(it.value().size()));
        else if (expected.value(it.key()) != it.value())
            lines.append(u"other bytes: "_s + it.key() + u" (%1 bytes)"_s.arg(it.value().size()));
    }
    for (auto it = expected.begin(); it != expected.end(); ++it)
        if (!actual.contains(it.key()))
            lines.append(u"missing: "_s + it.key());
    return lines.join(u'\n');
}

QString PromptText(const QString &codeAndDescription)
{
    const qsizetype space = codeAndDescription.indexOf(u' ');
    return u"YesNo|Error|An error has occurred.\r\n\r\nError: "_s + codeAndDescription.left(space)
        + u"\r\nDescription: "_s + codeAndDescription.mid(space + 1)
        + u"\r\n\r\nWould you like to continue?"_s;
}

// The log lines of a page with links: downloaded, parsed, filtered.
QStringList PageLines(int total, int kept)
{
    return {u"Source code has been downloaded: %PAGE%."_s,
            u"Source code has been parsed: %1 total links."_s.arg(total),
            u"Filters have been applied: %1 relevant links."_s.arg(kept)};
}

QString Complete(const QString &name)
{
    return u"Download complete: @/"_s + name + u'.';
}

QString Done(int items)
{
    return u"Done.  Items downloaded: %1."_s.arg(items);
}

const QString kCancelled = u"Action has been cancelled!"_s;
const QString kStalled =
    u"28 Timeout was reached: Operation too slow. Less than 1 bytes/sec transferred the last 2 seconds"_s;

QString FileError(const QString &name, const QString &reason)
{
    return u"75 Path/File access error: \"@/"_s + name + u"\": "_s + reason;
}

// A failing link followed by a good one: both are fetched ahead, the good one is saved.
Row Failing(const QString &link, const QString &prompt, const QString &timeOut = u"10"_s)
{
    return Row{.links = {link, u"/bytes/100"_s},
               .timeOut = timeOut,
               .answers = {true},
               .prompts = {prompt},
               .log = PageLines(2, 2) << Complete(u"100"_s) << Done(1),
               .files = {{u"100"_s, TestHttpServer::bytes(100)}}};
}

// The body the server gives every address below /n/: what it was asked for.
QByteArray Echo(const QByteArray &target)
{
    return "body of " + target;
}

} // namespace

Q_DECLARE_METATYPE(Row)

class tst_FaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pageAnswers_data();
    void pageAnswers() { play(); }
    void linkAnswers_data();
    void linkAnswers() { play(); }
    void names_data();
    void names() { play(); }
    void disk_data();
    void disk() { play(); }
    void window_data();
    void window() { play(); }

private:
    template<typename T>
    T *child(const char *name) const
    {
        return Child<T>(*m_window, name);
    }
    void set(const char *field, const QString &text) { child<QLineEdit>(field)->setText(text); }
    void play();
    // Makes the download folder what the row asks for; a reason when this machine cannot.
    std::optional<QString> prepare(Disk disk);
    void liftFileSizeLimit();
    QString expand(QString text) const;
    QString normal(QString text) const;
    // The sizes of the temporary download files in the folder.
    QList<qint64> partSizes() const;
    bool runToEnd();
    bool idle() const;

    QTemporaryDir m_settingsDir;
    TestHttpServer m_server;
    QString m_refused;
    QString m_startDirectory;
    int m_rows = 0;

    std::unique_ptr<QTemporaryDir> m_tree;
    QString m_out;
    QString m_page;
    bool m_mounted = false;
    std::optional<rlimit> m_oldLimit;
    struct sigaction m_oldXfsz = {};

    std::unique_ptr<CurlTransfer> m_inet;
    std::unique_ptr<FakePrompts> m_prompts;
    std::unique_ptr<frmMain> m_window;
};

void tst_FaultMatrix::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    KeepSettingsIn(m_settingsDir.path());
    m_startDirectory = QDir::currentPath();
    m_refused = TestHttpServer::refusedAddress();
    QVERIFY(!m_refused.isEmpty());

    // Pages that go wrong the way links do, as HTML so that the browser shows them.
    const QByteArray linked = Page({u"/bytes/100"_s});
    m_server.addRoute(u"/p/trickle"_s, [linked](const TestHttpRequest &) {
        TestHttpResponse response = TestHttpResponse::page(linked);
        response.delivery = TestHttpResponse::Delivery::Trickle;
        response.trickleIntervalMs = 1000;
        return response;
    });
    m_server.addRoute(u"/p/cut"_s, [linked](const TestHttpRequest &) {
        TestHttpResponse response = TestHttpResponse::page(linked);
        response.delivery = TestHttpResponse::Delivery::CutShort;
        response.announcedLength = linked.size() + 1000;
        return response;
    });
    m_server.addRoute(u"/p/404-page"_s, [linked](const TestHttpRequest &) {
        TestHttpResponse response = TestHttpResponse::page(linked + QByteArray(2000, ' '));
        response.status = 404;
        return response;
    });
    m_server.addRedirect(u"/p/to-file"_s, u"file:///etc/passwd"_s);
    m_server.addRedirect(u"/p/to-data"_s, u"data:text/html,<a href=\"/bytes/100\">x</a>"_s);
    m_server.addRedirect(u"/to-file"_s, u"file:///etc/passwd"_s);
    m_server.addRedirect(u"/to-dict"_s, u"dict://127.0.0.1/x"_s);
    m_server.addRedirect(u"/moved/a.bin"_s, u"/named/b.exe"_s);
    m_server.addRoute(u"/named/b.exe"_s, [](const TestHttpRequest &) {
        TestHttpResponse response = TestHttpResponse::page(TestHttpServer::bytes(500),
                                                           "application/octet-stream");
        response.headers.append(qMakePair(QByteArray("Content-Disposition"),
                                          QByteArray("attachment; filename=\"../../c.exe\"")));
        return response;
    });
    m_server.addPrefixRoute(u"/n/"_s, [](const TestHttpRequest &request) {
        return TestHttpResponse::page(Echo(request.target), "application/octet-stream");
    });
    // What a row leaves hanging is closed before it could hold up a later row.
    m_server.setIdleLimit(5000);
    QVERIFY(m_server.start());
}

void tst_FaultMatrix::init()
{
    m_tree = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tree->isValid());
    m_out = m_tree->path() + u"/l1/l2/out"_s;
    // A bare name written to the current directory would show in the tree.
    QVERIFY(QDir::setCurrent(m_tree->path()));
    m_server.clearRequestLog();
    QVERIFY(OpenWindow(m_inet, m_prompts, m_window));
    set("txtDefaultExtension", u"txt"_s);
}

void tst_FaultMatrix::cleanup()
{
    liftFileSizeLimit();
    m_window.reset();
    m_prompts.reset();
    m_inet.reset();
    if (m_mounted)
        umount2(QFile::encodeName(m_out).constData(), MNT_DETACH);
    m_mounted = false;
    if (QFileInfo(m_out).isDir())
        QFile::setPermissions(m_out, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir::setCurrent(m_startDirectory);
    m_tree.reset();
}

std::optional<QString> tst_FaultMatrix::prepare(Disk disk)
{
    const QByteArray out = QFile::encodeName(m_out);
    if (disk == Disk::Missing)
        return std::nullopt;
    if (disk == Disk::AFile) {
        QDir().mkpath(QFileInfo(m_out).path());
        QFile file(m_out);
        if (!file.open(QIODevice::WriteOnly) || file.write("not a folder") != 12)
            return u"cannot write the file in the folder's place"_s;
        return std::nullopt;
    }
    QDir().mkpath(m_out);
    if (disk == Disk::ReadOnly && geteuid() != 0) {
        QFile::setPermissions(m_out, QFile::ReadOwner | QFile::ExeOwner);
        return std::nullopt;
    }
    if (disk == Disk::ReadOnly || disk == Disk::SmallTmpfs) {
        // Root writes through permission bits: only a file system mounted read-only, or a
        // full one, refuses it.
        const QByteArray options = "size="
            + QByteArray::number(disk == Disk::ReadOnly ? 65536 : kMegabyte) + ",mode=0755";
        const unsigned long flags = MS_NOSUID | MS_NODEV | (disk == Disk::ReadOnly ? MS_RDONLY : 0);
        if (mount("tmpfs", out.constData(), "tmpfs", flags, options.constData()) != 0)
            return u"no file system can be mounted on the folder (%1); that needs root"_s.arg(
                QString::fromLocal8Bit(strerror(errno)));
        m_mounted = true;
    }
    return std::nullopt;
}

void tst_FaultMatrix::liftFileSizeLimit()
{
    if (!m_oldLimit)
        return;
    setrlimit(RLIMIT_FSIZE, &*m_oldLimit);
    sigaction(SIGXFSZ, &m_oldXfsz, nullptr);
    m_oldLimit.reset();
}

QString tst_FaultMatrix::expand(QString text) const
{
    return text.replace(u"%BASE%"_s, m_server.url(QString()))
        .replace(u"%REFUSED%"_s, m_refused)
        .replace(u"%RPORT%"_s, QString::number(QUrl(m_refused).port()));
}

QString tst_FaultMatrix::normal(QString text) const
{
    static const QRegularExpression milliseconds(u"after \\d+ ms"_s);
    text.replace(m_page, u"%PAGE%"_s)
        .replace(m_out, u"@"_s)
        .replace(m_tree->path(), u"%TREE%"_s)
        .replace(m_server.url(QString()), u"%BASE%"_s)
        .replace(m_refused, u"%REFUSED%"_s)
        .replace(u"port "_s + QString::number(QUrl(m_refused).port()), u"port %RPORT%"_s)
        .replace(milliseconds, u"after N ms"_s);
    return text;
}

QList<qint64> tst_FaultMatrix::partSizes() const
{
    QList<qint64> sizes;
    for (const QFileInfo &part :
         QDir(m_out).entryInfoList({u".lh-*.part"_s}, QDir::Files | QDir::Hidden))
        sizes.append(part.size());
    return sizes;
}

bool tst_FaultMatrix::idle() const
{
    return !m_window->IsRunning() && child<QPushButton>("cmdGo")->isEnabled()
        && !child<QPushButton>("cmdStop")->isEnabled() && !QApplication::overrideCursor()
        && !m_inet->StillExecuting();
}

bool tst_FaultMatrix::runToEnd()
{
    return PressGo(*m_window, kRunMs);
}

void tst_FaultMatrix::play()
{
    QFETCH(Row, row);

    if (const std::optional<QString> unable = prepare(row.disk))
        QSKIP(qPrintable(*unable));
    const QString pagePath = row.pageDir + u"/row%1.htm"_s.arg(++m_rows);
    if (row.page.isEmpty()) {
        QStringList links;
        for (const QString &link : std::as_const(row.links))
            links.append(expand(link));
        m_server.addPage(pagePath, Page(links));
        m_page = m_server.url(pagePath);
    } else {
        m_page = expand(row.page);
    }
    set("txtAddress", m_page);
    child<QListWidget>("lstInterior")->addItems({u"/"_s, u"."_s});
    set("txtTimeOut", row.timeOut);
    child<QCheckBox>("chkSaveLinks")->click();
    set("txtSaveLinks", m_out);
    for (bool answer : std::as_const(row.answers))
        m_prompts->answers.enqueue(answer);

    const QString firstLink = row.links.isEmpty() ? QString() : expand(row.links.constFirst());
    std::unique_ptr<ActWhen> act;
    switch (row.act) {
    case Act::None:
        break;
    case Act::StopMidBody:
        act = std::make_unique<ActWhen>(
            [this] {
                return std::ranges::any_of(partSizes(),
                                           [](qint64 size) { return size >= kMegabyte; });
            },
            [this] { child<QPushButton>("cmdStop")->click(); }, kActMs);
        break;
    case Act::RemoveFolderMidBody:
        // The second link, fetched ahead, is whole in its temporary file; the first still
        // comes in.
        act = std::make_unique<ActWhen>([this] { return partSizes().contains(100); },
                                        [this] { QDir(m_out).removeRecursively(); }, kActMs);
        break;
    case Act::CloseAtPageRequest: {
        const QString path = QUrl(m_page).path();
        act = std::make_unique<ActWhen>([this, path] { return m_server.requestCount(path) > 0; },
                                        [this] { m_window->close(); }, kActMs);
        break;
    }
    case Act::CloseMidBody: {
        const QString path = QUrl(firstLink).path(QUrl::FullyEncoded) + u'?'
            + QUrl(firstLink).query();
        act = std::make_unique<ActWhen>(
            [this, path] { return m_inet->StillExecuting() && m_server.requestCount(path) > 0; },
            [this] { m_window->close(); }, kActMs);
        break;
    }
    case Act::CloseAtPrompt:
        m_prompts->whenAsked = [this] {
            m_window->close();
            m_prompts->whenAsked = nullptr;
        };
        break;
    }

    QMap<QString, QByteArray> expected = Tree(m_tree->path());
    const QString outRelative = QDir(m_tree->path()).relativeFilePath(m_out);
    for (auto it = row.files.begin(); it != row.files.end(); ++it) {
        for (QString folder = outRelative; !folder.isEmpty() && folder != u"."_s;
             folder = QFileInfo(folder).path())
            expected.insert(folder + u'/', {});
        expected.insert(outRelative + u'/' + it.key(), it.value());
    }
    if (row.act == Act::RemoveFolderMidBody)
        expected.insert(outRelative + u'/', {}); // made again for the second link

    if (row.disk == Disk::SizeLimit) {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &m_oldXfsz);
        rlimit limit = {};
        getrlimit(RLIMIT_FSIZE, &limit);
        m_oldLimit = limit;
        limit.rlim_cur = kFileSizeLimit;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    }
    const bool ended = runToEnd();
    liftFileSizeLimit();
    QVERIFY2(ended, "the run had to be stopped");
    if (act)
        QVERIFY2(act->fired || row.act == Act::CloseAtPrompt, "the row's action never came");
    QTRY_VERIFY_WITH_TIMEOUT(idle(), kIdleMs);

    QStringList shown;
    for (const QString &prompt : std::as_const(m_prompts->shown))
        shown.append(normal(prompt));
    QStringList wanted;
    for (const QString &prompt : std::as_const(row.prompts))
        wanted.append(PromptText(prompt));
    if (shown != wanted)
        qWarning().noquote() << "prompts shown:" << shown;
    QCOMPARE(shown, wanted);
    QVERIFY2(!m_prompts->unexpected, "a box asked for an answer the row did not give");
    QVERIFY2(m_prompts->answers.isEmpty(), "an answer the row gave was never asked for");

    QStringList messages;
    for (const QString &line : LogLines(*child<LogList>("lstLog")))
        messages.append(normal(line.section(u" -> "_s, 1)));
    if (messages != row.log)
        qWarning().noquote() << "log:" << messages;
    QCOMPARE(messages, row.log);

    const QMap<QString, QByteArray> after = Tree(m_tree->path());
    const QString difference = TreeDifference(expected, after);
    QVERIFY2(difference.isEmpty(), qPrintable(normal(difference)));
    QVERIFY(!QFileInfo::exists(u"/etc/x.zip"_s));
    if (row.act == Act::CloseAtPageRequest || row.act == Act::CloseMidBody
        || row.act == Act::CloseAtPrompt)
        QVERIFY(!m_window->isVisible());
}

// --- Pages ---------------------------------------------------------------------------------

void tst_FaultMatrix::pageAnswers_data()
{
    QTest::addColumn<Row>("row");
    const QString notLoaded = u"1001 The page could not be loaded: %PAGE%"_s;
    const QString timedOut = u"1002 The page did not load within 1 seconds: %PAGE%"_s;
    const QStringList empty = PageLines(0, 0) << Done(0);

    QTest::newRow("never answers, yes") << Row{.page = u"%BASE%/hang"_s,
                                               .timeOut = u"1"_s,
                                               .answers = {true},
                                               .prompts = {timedOut},
                                               .log = {Done(0)}};
    QTest::newRow("never answers, no") << Row{
        .page = u"%BASE%/hang"_s, .timeOut = u"1"_s, .answers = {false}, .prompts = {timedOut}};
    QTest::newRow("trickles a byte a second past the time-out")
        << Row{.page = u"%BASE%/p/trickle"_s,
               .timeOut = u"1"_s,
               .answers = {true},
               .prompts = {timedOut},
               .log = {Done(0)}};
    QTest::newRow("closes mid-body") << Row{
        .page = u"%BASE%/p/cut"_s, .answers = {true}, .prompts = {notLoaded}, .log = {Done(0)}};
    // A short error body: the browser puts its own error page in its place, a failed load.
    QTest::newRow("404") << Row{.page = u"%BASE%/status/404"_s,
                                .answers = {true},
                                .prompts = {notLoaded},
                                .log = {Done(0)}};
    QTest::newRow("500") << Row{.page = u"%BASE%/status/500"_s,
                                .answers = {true},
                                .prompts = {notLoaded},
                                .log = {Done(0)}};
    // The browser shows an error page of the site's own, but reports the status as a failed
    // load: its links are not taken.
    QTest::newRow("404 with a page of its own") << Row{.page = u"%BASE%/p/404-page"_s,
                                                       .answers = {true},
                                                       .prompts = {notLoaded},
                                                       .log = {Done(0)}};
    QTest::newRow("connection refused") << Row{.page = u"%REFUSED%page.htm"_s,
                                               .answers = {true},
                                               .prompts = {notLoaded},
                                               .log = {Done(0)}};
    QTest::newRow("host does not resolve") << Row{.page = u"http://nowhere.invalid/page.htm"_s,
                                                  .answers = {true},
                                                  .prompts = {notLoaded},
                                                  .log = {Done(0)}};
    // The loop fails at the other address of the two, which the wait cannot tell from an
    // earlier page cut short: it ends at the time-out.
    QTest::newRow("redirect loop") << Row{.page = u"%BASE%/loop/a"_s,
                                          .timeOut = u"1"_s,
                                          .answers = {true},
                                          .prompts = {timedOut},
                                          .log = {Done(0)}};
    QTest::newRow("redirect to file:///etc/passwd") << Row{
        .page = u"%BASE%/p/to-file"_s, .answers = {true}, .prompts = {notLoaded}, .log = {Done(0)}};
    QTest::newRow("redirect to data:") << Row{
        .page = u"%BASE%/p/to-data"_s, .answers = {true}, .prompts = {notLoaded}, .log = {Done(0)}};
}

// --- Links ---------------------------------------------------------------------------------

void tst_FaultMatrix::linkAnswers_data()
{
    QTest::addColumn<Row>("row");

    QTest::newRow("never answers, yes") << Failing(u"/hang"_s, kStalled, u"2"_s);
    Row hangNo = Failing(u"/hang"_s, kStalled, u"2"_s);
    hangNo.answers = {false};
    hangNo.log = PageLines(2, 2);
    hangNo.files = {};
    QTest::newRow("never answers, no: the link fetched ahead goes too") << hangNo;
    QTest::newRow("trickles a byte a second past the time-out") << Row{
        .links = {u"/slow?n=3&ms=1000"_s, u"/bytes/100"_s},
        .timeOut = u"2"_s,
        .log = PageLines(2, 2) << Complete(u"1.txt"_s) << Complete(u"100"_s) << Done(2),
        .files = {{u"1.txt"_s, TestHttpServer::bytes(3)}, {u"100"_s, TestHttpServer::bytes(100)}}};
    QTest::newRow("closes mid-body") << Failing(
        u"/cut"_s,
        u"18 Transferred a partial file: transfer closed with 900 bytes remaining to read"_s);
    QTest::newRow("Content-Length larger than the body, then silence")
        << Failing(u"/stall"_s, kStalled, u"2"_s);
    QTest::newRow("chunked encoding cut off") << Failing(
        u"/chunked-cut"_s,
        u"18 Transferred a partial file: transfer closed with outstanding read data remaining"_s);
    QTest::newRow("404") << Failing(u"/status/404"_s, u"404 HTTP 404 Not Found"_s);
    QTest::newRow("500") << Failing(u"/status/500"_s, u"500 HTTP 500 Internal Server Error"_s);
    QTest::newRow("connection refused") << Failing(
        u"%REFUSED%x.bin"_s,
        u"7 Couldn't connect to server: Failed to connect to 127.0.0.1 port %RPORT% after N ms: Couldn't connect to server"_s);
    QTest::newRow("host does not resolve")
        << Failing(u"http://nowhere.invalid/x.bin"_s,
                   u"6 Couldn't resolve host name: Could not resolve host: nowhere.invalid"_s);
    QTest::newRow("redirect loop")
        << Failing(u"/loop/a"_s,
                   u"47 Number of redirects hit maximum amount: Maximum (10) redirects followed"_s);
    QTest::newRow("redirect to file:///etc/passwd") << Failing(
        u"/to-file"_s,
        u"1 Unsupported protocol: Protocol \"file\" not supported or disabled in libcurl"_s);
    QTest::newRow("redirect to dict:") << Failing(
        u"/to-dict"_s,
        u"1 Unsupported protocol: Protocol \"dict\" not supported or disabled in libcurl"_s);
    for (int size : {0, 1, 2}) {
        // No content worth a file: neither a prompt nor a log line.
        QTest::addRow("a body of %d bytes", size)
            << Row{.links = {u"/bytes/%1"_s.arg(size), u"/bytes/100"_s},
                   .log = PageLines(2, 2) << Complete(u"100"_s) << Done(1),
                   .files = {{u"100"_s, TestHttpServer::bytes(100)}}};
    }
    QTest::newRow("a body of 3 bytes") << Row{
        .links = {u"/bytes/3"_s, u"/bytes/100"_s},
        .log = PageLines(2, 2) << Complete(u"3"_s) << Complete(u"100"_s) << Done(2),
        .files = {{u"3"_s, TestHttpServer::bytes(3)}, {u"100"_s, TestHttpServer::bytes(100)}}};
    QTest::newRow("50 MB, Stop mid-body")
        << Row{.links = {u"/generated/52428800?ms=2"_s, u"/bytes/100"_s},
               .log = PageLines(2, 2) << kCancelled,
               .act = Act::StopMidBody};
    QTest::newRow("redirect to another name, Content-Disposition too: named from the link")
        << Row{.links = {u"/moved/a.bin"_s},
               .log = PageLines(1, 1) << Complete(u"a.bin"_s) << Done(1),
               .files = {{u"a.bin"_s, TestHttpServer::bytes(500)}}};
}

// --- Names ---------------------------------------------------------------------------------

void tst_FaultMatrix::names_data()
{
    QTest::addColumn<Row>("row");
    // One link a row, on a page three folders down; the server echoes the address asked for.
    const auto saved = [](const QString &link, const QString &name, const QByteArray &target) {
        return Row{.pageDir = u"/n/a/b"_s,
                   .links = {link},
                   .log = PageLines(1, 1) << Complete(name) << Done(1),
                   .files = {{name, Echo(target)}}};
    };

    QTest::newRow("../../x.zip") << saved(u"../../x.zip"_s, u"x.zip"_s, "/n/x.zip");
    QTest::newRow("..%2F..%2Fx.zip")
        << saved(u"..%2F..%2Fx.zip"_s, u"..%2F..%2Fx.zip"_s, "/n/a/b/..%2F..%2Fx.zip");
    QTest::newRow("a\\..\\x.zip") << saved(u"a\\..\\x.zip"_s, u"a\\..\\x.zip"_s,
                                           "/n/a/b/a%5C..%5Cx.zip");
    QTest::newRow("absolute /etc/x.zip") << saved(u"/etc/x.zip"_s, u"x.zip"_s, "/n/a/b/etc/x.zip");
    QTest::newRow("trailing dot") << saved(u"x.zip."_s, u"x.zip."_s, "/n/a/b/x.zip.");
    QTest::newRow("trailing space") << saved(u"x.zip "_s, u"x.zip "_s, "/n/a/b/x.zip");
    const QString combining = u"e\u0301\u0327.zip"_s;
    QTest::newRow("UTF-8 with combining characters")
        << saved(combining, combining, "/n/a/b/e%CC%81%CC%A7.zip");
    const QString longest = QString(251, u'a') + u".zip"_s;
    QTest::newRow("255 bytes: the longest name")
        << saved(longest, longest, "/n/a/b/" + longest.toUtf8());

    // Each name with a control character is the page's own name; the later ones find it there.
    QTest::newRow("control characters")
        << Row{.pageDir = u"/n/a/b"_s,
               .links = {u"c\u0001.zip"_s, u"c\td.zip"_s, u"c\u007f.zip"_s},
               .log = PageLines(3, 3) << Complete(u"1.txt"_s) << u"File already exists: @/1.txt."_s
                                      << u"File already exists: @/1.txt."_s << Done(1),
               .files = {{u"1.txt"_s, Echo("/n/a/b/c%01.zip")}}};
    const QString tooLong = QString(296, u'a') + u".zip"_s;
    QTest::newRow("300 bytes: refused by the file system")
        << Row{.pageDir = u"/n/a/b"_s,
               .links = {tooLong},
               .answers = {true},
               .prompts = {FileError(tooLong, u"File name too long"_s)},
               .log = PageLines(1, 1) << Complete(tooLong) << Done(1)};
    QTest::newRow("ends in /: the folder itself")
        << Row{.pageDir = u"/n/a/b"_s,
               .links = {u"dir/"_s},
               .answers = {true},
               .prompts = {FileError(QString(), u"Not a directory"_s)},
               .log = PageLines(1, 1) << Complete(QString()) << Done(1)};
    QTest::newRow("two names that differ only in case") << Row{
        .pageDir = u"/n/a/b"_s,
        .links = {u"Case.zip"_s, u"case.zip"_s},
        .log = PageLines(2, 2) << Complete(u"Case.zip"_s) << Complete(u"case.zip"_s) << Done(2),
        .files = {{u"Case.zip"_s, Echo("/n/a/b/Case.zip")},
                  {u"case.zip"_s, Echo("/n/a/b/case.zip")}}};
}

// --- The download folder -----------------------------------------------------------------------

void tst_FaultMatrix::disk_data()
{
    QTest::addColumn<Row>("row");
    const QStringList two{u"/bytes/100"_s, u"/bytes/200"_s};
    // Spelled out by the file's own rule: a failed write is still counted and logged.
    const QStringList bothLogged = PageLines(2, 2)
        << Complete(u"100"_s) << Complete(u"200"_s) << Done(2);

    QTest::newRow("missing: made with its parents") << Row{
        .links = two,
        .log = bothLogged,
        .files = {{u"100"_s, TestHttpServer::bytes(100)}, {u"200"_s, TestHttpServer::bytes(200)}},
        .disk = Disk::Missing};
    QTest::newRow("read-only") << Row{.links = two,
                                      .answers = {true, true},
                                      .prompts = {FileError(u"100"_s, u"Read-only file system"_s),
                                                  FileError(u"200"_s, u"Read-only file system"_s)},
                                      .log = bothLogged,
                                      .disk = Disk::ReadOnly};
    QTest::newRow("a file") << Row{.links = two,
                                   .answers = {true, true},
                                   .prompts = {FileError(u"100"_s, u"Not a directory"_s),
                                               FileError(u"200"_s, u"Not a directory"_s)},
                                   .log = bothLogged,
                                   .disk = Disk::AFile};
    QTest::newRow("removed during the run")
        << Row{.links = {u"/slow?n=6&ms=100"_s, u"/bytes/100"_s},
               .answers = {true, true},
               .prompts = {FileError(u"1.txt"_s, u"No such file or directory"_s),
                           FileError(u"100"_s, u"No such file or directory"_s)},
               .log = PageLines(2, 2) << Complete(u"1.txt"_s) << Complete(u"100"_s) << Done(2),
               .act = Act::RemoveFolderMidBody};
    QTest::newRow("full mid-file: the file-size limit")
        << Row{.links = {u"/generated/83886080"_s, u"/bytes/100"_s},
               .answers = {true},
               .prompts = {FileError(u"83886080"_s, u"File too large"_s)},
               .log = PageLines(2, 2) << Complete(u"83886080"_s) << Complete(u"100"_s) << Done(2),
               .files = {{u"100"_s, TestHttpServer::bytes(100)}},
               .disk = Disk::SizeLimit};
    // Paced, so that the small link beside it is in before the disk is full.
    QTest::newRow("full mid-file: a small file system")
        << Row{.links = {u"/generated/3145728?ms=10"_s, u"/bytes/100"_s},
               .answers = {true},
               .prompts = {FileError(u"1.txt"_s, u"No space left on device"_s)},
               .log = PageLines(2, 2) << Complete(u"1.txt"_s) << Complete(u"100"_s) << Done(2),
               .files = {{u"100"_s, TestHttpServer::bytes(100)}},
               .disk = Disk::SmallTmpfs};
}

// --- The window ----------------------------------------------------------------------------

void tst_FaultMatrix::window_data()
{
    QTest::addColumn<Row>("row");

    QTest::newRow("closed during a page wait")
        << Row{.page = u"%BASE%/hang"_s, .log = {kCancelled}, .act = Act::CloseAtPageRequest};
    QTest::newRow("closed during a download")
        << Row{.links = {u"/slow?n=300&ms=25"_s, u"/bytes/100"_s},
               .log = PageLines(2, 2) << kCancelled,
               .act = Act::CloseMidBody};
    QTest::newRow("closed while a prompt is up, yes")
        << Row{.links = {u"/status/404"_s, u"/bytes/100"_s},
               .answers = {true},
               .prompts = {u"404 HTTP 404 Not Found"_s},
               .log = PageLines(2, 2) << kCancelled,
               .act = Act::CloseAtPrompt};
    QTest::newRow("closed while a prompt is up, no")
        << Row{.links = {u"/status/404"_s, u"/bytes/100"_s},
               .answers = {false},
               .prompts = {u"404 HTTP 404 Not Found"_s},
               .log = PageLines(2, 2),
               .act = Act::CloseAtPrompt};
}

QTEST_MAIN(tst_FaultMatrix)
#include "tst_faultmatrix.moc"
