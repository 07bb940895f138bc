// linkhauler-run started as a process against the loopback server: the same job gives what the
// window gives, and each way a run can end gives its exit status.
#include "browseridentity.h"
#include "curltransfer.h"
#include "fakes.h"
#include "frmmain.h"
#include "testhttpserver.h"
#include "webbrowser.h"
#include "wholerun.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include <csignal>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRunMs = 60000;

struct Finished
{
    // As a shell tells it: 128 and the signal for a process that a signal ended.
    int status = -1;
    bool endedBySignal = false;
    QStringList messages; // standard output's log lines without the time of day
    QString errors;
};

// Every file under the folder, hidden ones too, by path relative to it.
QMap<QString, QByteArray> Files(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), ReadAll(path));
        QFile::remove(path);
    }
    return files;
}

QStringList WithoutTime(const QStringList &lines)
{
    QStringList messages;
    for (const QString &line : lines)
        messages.append(line.contains(u" -> "_s) ? line.section(u" -> "_s, 1) : line);
    return messages;
}

} // namespace

class tst_Unattended final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void sameAsTheWindow_data();
    void sameAsTheWindow();
    void exitStatus_data();
    void exitStatus();
    void identityReachesPagesAndFiles_data();
    void identityReachesPagesAndFiles();

private:
    QString expand(QString text) const
    {
        return text.replace(u"$BASE"_s, m_server.url(u""_s)).replace(u"$OUT"_s, m_out->path());
    }
    // Without a display and without a chosen platform; `interruptAt`: the signal once the
    // server has been asked for that target.
    Finished runProgram(const QStringList &arguments, const QString &interruptAt = {},
                        int signal = SIGINT);

    QTemporaryDir m_settings;
    TestHttpServer m_server;
    std::unique_ptr<QTemporaryDir> m_out;
};

void tst_Unattended::initTestCase()
{
    QVERIFY(m_settings.isValid());
    KeepSettingsIn(m_settings.path());
    // /cmp/p<n>.htm and /cmp/s<letter>.htm: links that depend on the page; s pages write
    // theirs by script.
    m_server.addPrefixRoute(u"/cmp/"_s, [](const TestHttpRequest &request) {
        const QString page = QString::fromUtf8(request.path.mid(5).chopped(4));
        const QString n = page.mid(1);
        const QStringList links =
            u"/bytes/1%1 /bytes/2 /bytes/300 a.gif /bytes/40?id=%1&x=1 /bytes/50?id=9&x=1"_s.arg(n)
                .split(u' ');
        return TestHttpResponse::page(page.startsWith(u's') ? TestHttpServer::scriptLinksPage(links)
                                                            : Page(links));
    });
    m_server.addPage(u"/ok.htm"_s, Page({u"/bytes/10"_s, u"/bytes/20"_s}));
    m_server.addPage(u"/fails.htm"_s, Page({u"/bytes/10"_s, u"/status/404"_s, u"/bytes/20"_s}));
    m_server.addPage(u"/hangs.htm"_s, Page({u"/hang"_s}));
    // A page that fails, then one whose link never answers.
    m_server.addRoute(u"/series1.htm"_s,
                      [](const TestHttpRequest &) { return TestHttpResponse::error(404); });
    m_server.addPage(u"/series2.htm"_s, Page({u"/hang"_s}));
    // Members only: the page and its files need the session cookie that the login page sets;
    // the page renews it.
    TestHttpResponse login = TestHttpResponse::page("<html><body>Welcome</body></html>");
    login.headers.append(
        qMakePair(QByteArray("Set-Cookie"), QByteArray("session=s3cret; Path=/; HttpOnly")));
    m_server.addRoute(u"/login.htm"_s, [login](const TestHttpRequest &) { return login; });
    m_server.addPrefixRoute(u"/members/"_s, [](const TestHttpRequest &request) {
        if (!request.header("cookie").contains("session=s3cret"))
            return TestHttpResponse::error(403);
        if (request.path.endsWith(".htm")) {
            TestHttpResponse page = TestHttpResponse::page(
                Page({u"/members/f1.bin"_s, u"/members/f2.bin"_s}));
            page.headers.append(
                qMakePair(QByteArray("Set-Cookie"), QByteArray("renewed=yes; Path=/members")));
            return page;
        }
        return TestHttpResponse::page(TestHttpServer::bytes(request.path.size() * 100),
                                      "application/octet-stream");
    });
    QVERIFY(m_server.start());
}

void tst_Unattended::init()
{
    m_out = std::make_unique<QTemporaryDir>();
    QVERIFY(m_out->isValid());
    QVERIFY(QDir(m_out->path()).mkpath(u"hrefs"_s));
    m_server.clearRequestLog();
}

Finished tst_Unattended::runProgram(const QStringList &arguments, const QString &interruptAt,
                                    int signal)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"QTWEBENGINE_DISABLE_SANDBOX"_s); // the program decides that itself
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(LINKHAULER_RUN), arguments);
    // A wait that ends without success leaves the status at -1, which no row expects.
    Finished finished;
    if (!interruptAt.isEmpty() && program.waitForStarted(10000)
        && QTest::qWaitFor([&] { return m_server.requestCount(interruptAt) > 0; }, kRunMs))
        ::kill(static_cast<pid_t>(program.processId()), signal);
    if (!program.waitForFinished(kRunMs))
        return finished;
    // A crash ends by its signal too, and gives a status that no row expects.
    finished.endedBySignal = program.exitStatus() == QProcess::CrashExit;
    finished.status = program.exitCode() + (finished.endedBySignal ? 128 : 0);
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    finished.messages = WithoutTime(out.split(u'\n', Qt::SkipEmptyParts));
    finished.errors = QString::fromUtf8(program.readAllStandardError());
    return finished;
}

void tst_Unattended::sameAsTheWindow_data()
{
    QTest::addColumn<QByteArray>("job");
    // A page the window's Web Browser page visits before Go, as a user logs in there; the
    // program gets the cookies it set as a browser extension exports them. Empty: none.
    QTest::addColumn<QString>("login");
    QTest::newRow("numbers into a folder, all addresses in one file")
        << QByteArray(R"({"txtAddress": "$BASE/cmp/p^N.htm", "chkIncNum": 1, "txtStartNum": "1",
            "txtStopNum": "3", "lstBeginning": ["/bytes/"], "txtDefaultExtension": "bin",
            "chkSaveLinks": 1, "txtSaveLinks": "$OUT/links", "chkSaveHREFs": 1,
            "txtSaveHREFs": "$OUT/hrefs", "txtTimeOut": "10"})")
        << QString();
    QTest::newRow("letters with links a script writes, addresses only, And")
        << QByteArray(R"({"txtAddress": "$BASE/cmp/s^L.htm", "chkIncAlpha": 1,
            "txtStartAlpha": "a", "txtStopAlpha": "c", "lstBeginning": ["/bytes/"],
            "optAnd1": true, "lstInterior": ["1", "3"], "txtDefaultExtension": "txt",
            "chkSaveHREFs": 1, "txtSaveHREFs": "$OUT/hrefs", "txtTimeOut": "10"})")
        << QString();
    QTest::newRow("one value per file, names clash, overwriting")
        << QByteArray(R"({"txtAddress": "$BASE/cmp/p^N.htm", "chkIncNum": 1, "txtStartNum": "4",
            "txtStopNum": "5", "lstEnd": ["x=1"], "txtDefaultExtension": "dat",
            "chkSaveLinks": 1, "chkOverwrite": 1, "txtSaveLinks": "$OUT/links",
            "chkSaveHREFs": 1, "optOneHREFPerFile": true, "txtSaveHREFs": "$OUT/hrefs",
            "txtTimeOut": "10"})")
        << QString();
    QTest::newRow("a members-only page after a login, the program with the exported cookies")
        << QByteArray(R"({"txtAddress": "$BASE/members/index.htm", "lstEnd": [".bin"],
            "txtDefaultExtension": "bin", "chkSaveLinks": 1, "txtSaveLinks": "$OUT/links",
            "chkSaveHREFs": 1, "txtSaveHREFs": "$OUT/hrefs", "txtTimeOut": "10"})")
        << u"/login.htm"_s;
}

void tst_Unattended::sameAsTheWindow()
{
    QFETCH(QByteArray, job);
    QFETCH(QString, login);
    const QJsonObject fields =
        QJsonDocument::fromJson(expand(QString::fromUtf8(job)).toUtf8()).object();
    QVERIFY(!fields.isEmpty());

    QStringList windowLog;
    QByteArrayList exported; // the cookies of the login, one line each
    {
        CurlTransfer inet;
        FakePrompts prompts;
        frmMain window(inet);
        window.SetPrompts(&prompts);
        window.SetExitProgram([] {});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (!login.isEmpty()) {
            QWebEngineCookieStore *store = QWebEngineProfile::defaultProfile()->cookieStore();
            QObject::connect(store, &QWebEngineCookieStore::cookieAdded, &window,
                             [&](const QNetworkCookie &cookie) {
                                 exported.append(NetscapeCookieLine(cookie, false));
                             });
            Child<WebBrowser>(window, "Browser")->Navigate(m_server.url(login));
            QTRY_VERIFY_WITH_TIMEOUT(!exported.isEmpty(), kRunMs);
            QObject::disconnect(store, nullptr, &window, nullptr);
        }
        // The file's keys are the controls' names: the job goes in as a user would type it,
        // "Overwrite existing files" once "Save links to disk" has made it usable.
        QStringList keys = fields.keys();
        if (keys.removeOne(u"chkOverwrite"_s))
            keys.append(u"chkOverwrite"_s);
        for (const QString &key : std::as_const(keys)) {
            const auto it = fields.find(key);
            QObject *control = Child<QObject>(window, it.key().toLatin1().constData());
            if (auto *edit = qobject_cast<QLineEdit *>(control))
                edit->setText(it.value().toString());
            else if (auto *box = qobject_cast<QCheckBox *>(control))
                box->click(); // every tick box in the rows is ticked
            else if (auto *option = qobject_cast<QRadioButton *>(control))
                option->setChecked(it.value().toBool());
            else
                for (const QJsonValue &entry : it.value().toArray())
                    qobject_cast<QListWidget *>(control)->addItem(entry.toString());
        }
        QVERIFY(PressGo(window, kRunMs));
        QVERIFY2(prompts.shown.isEmpty(), qPrintable(prompts.shown.join(u'\n')));
        windowLog = WithoutTime(LogLines(*Child<LogList>(window, "lstLog")));
    }
    const QMap<QString, QByteArray> windowFiles = Files(m_out->path());

    QFile jobFile(m_out->filePath(u"job.json"_s));
    QVERIFY(jobFile.open(QIODevice::WriteOnly));
    jobFile.write(QJsonDocument(fields).toJson());
    jobFile.close();
    QStringList arguments{u"--job"_s, jobFile.fileName(), u"--progress-every"_s, u"0"_s};
    if (!exported.isEmpty()) {
        QWebEngineProfile::defaultProfile()->cookieStore()->deleteAllCookies();
        QFile cookies(m_out->filePath(u"cookies.txt"_s));
        QVERIFY(cookies.open(QIODevice::WriteOnly));
        cookies.write("# Netscape HTTP Cookie File\n" + exported.join('\n') + '\n');
        arguments += {u"--cookies"_s, cookies.fileName()};
    }
    const Finished program = runProgram(arguments);
    jobFile.remove();
    QFile::remove(m_out->filePath(u"cookies.txt"_s));
    QCOMPARE(program.status, 0);
    QCOMPARE(program.messages, windowLog);
    // The engine's notices of a run without a display or sandbox are no news for a script.
    QVERIFY2(program.errors.startsWith(u"Run completed: "_s), qPrintable(program.errors));
    QCOMPARE(Files(m_out->path()), windowFiles);
    // Something was compared: the run logged its links and wrote its records.
    QVERIFY(windowLog.size() > 4);
    QVERIFY(!windowFiles.keys().filter(u"hrefs/"_s).isEmpty());
}

void tst_Unattended::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("interruptAt");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("lastLine");  // standard output's; empty: none at all
    QTest::addColumn<QString>("error");     // on standard error
    QTest::addColumn<QStringList>("files"); // everything left in $OUT/links
    QTest::addColumn<QString>("failed");    // the --failed file, when the row gives one

    const QStringList ok{u"-b"_s, u"/"_s,          u"-x"_s, u"bin"_s,
                         u"-o"_s, u"$OUT/links"_s, u"-t"_s, u"10"_s};
    QTest::newRow("valid job") << (QStringList{u"-a"_s, u"$BASE/ok.htm"_s} + ok) << QString() << 0
                               << u"Done.  Items downloaded: 2."_s << QString()
                               << QStringList{u"10"_s, u"20"_s} << QString();
    QTest::newRow("valid job, events")
        << (QStringList{u"-a"_s, u"$BASE/ok.htm"_s, u"--json"_s} + ok) << QString() << 0
        << uR"({"bytes":30,"end":"completed","event":"done","exitStatus":0,"failures":0,"files":2,"items":2,"links":2,"pages":1,"series":1})"_s
        << QString() << QStringList{u"10"_s, u"20"_s} << QString();
    QTest::newRow("quiet, the log lines and the summary in the log file")
        << (QStringList{u"-qa"_s, u"$BASE/fails.htm"_s, u"--log"_s, u"$OUT/run.log"_s} + ok)
        << QString() << 1 << QString() << u"Error 404 at $BASE/status/404"_s
        << QStringList{u"10"_s, u"20"_s} << QString();
    QTest::newRow("failing link, skip")
        << (QStringList{u"-a"_s, u"$BASE/fails.htm"_s, u"--failed"_s, u"$OUT/failed.txt"_s} + ok)
        << QString() << 1 << u"Done.  Items downloaded: 2."_s << u"Error 404 at $BASE/status/404"_s
        << QStringList{u"10"_s, u"20"_s} << u"$BASE/status/404\t0\tlink\n"_s;
    QTest::newRow("failing link, stop")
        << (QStringList{u"-a"_s, u"$BASE/fails.htm"_s, u"--on-error"_s, u"stop"_s} + ok)
        << QString() << 3 << u"Download complete: $OUT/links/10."_s << u"Run stopped"_s
        << QStringList{u"10"_s} << QString();
    // Regression: the failures before the address step named the link as found on the page.
    QTest::newRow("a folder that cannot be made, failures by address")
        << (QStringList{u"-a"_s, u"$BASE/ok.htm"_s} + ok + QStringList{u"-o"_s, u"/dev/null/x"_s})
        << QString() << 1 << u"Done.  Items downloaded: 2."_s
        << u"Error 75 at $BASE/bytes/20: Cannot create the folder \"/dev/null/x\""_s
        << QStringList{} << QString();
    QTest::newRow("SIGINT mid-run leaves no file")
        << (QStringList{u"-a"_s, u"$BASE/hangs.htm"_s} + ok) << u"/hang"_s << 130
        << u"Action has been cancelled!"_s << u"Run interrupted"_s << QStringList{} << QString();
    // Each stop signal ends the program by itself once the summary and --failed are written.
    QTest::newRow("SIGTERM, the summary, then ended by SIGTERM")
        << (QStringList{u"-a"_s, u"$BASE/hangs.htm"_s} + ok) << u"/hang"_s << 143
        << u"Action has been cancelled!"_s << u"Run interrupted: 1 of 1 pages"_s << QStringList{}
        << QString();
    QTest::newRow("SIGHUP, the failures so far in --failed, then ended by SIGHUP")
        << (QStringList{u"-a"_s, u"$BASE/series^N.htm"_s, u"-n"_s, u"1:2"_s, u"--failed"_s,
                        u"$OUT/failed.txt"_s}
            + ok)
        << u"/hang"_s << 129 << u"Action has been cancelled!"_s
        << u"Error 1001 at $BASE/series1.htm"_s << QStringList{}
        << u"$BASE/series1.htm\t0\tpage\n"_s;

    // Arguments split at "|"; the criteria and the extension are added unless a row has "-x".
    const auto refused = [&](const char *name, const QString &arguments, const QString &text) {
        QStringList list = (u"-a|$BASE/x|"_s + arguments).split(u'|');
        if (!list.contains(u"-x"_s))
            list += {u"-e"_s, u"zip"_s, u"-x"_s, u"bin"_s};
        QTest::newRow(name) << list << QString() << 2 << QString() << text << QStringList{}
                            << QString();
    };
    const QString greater = u"OOPS! You start number is greater than your stop number but your "
                            u"incrmentation is not negative! "_s;
    refused("no address", u"-a|  "_s,
            u"OOPS! You forgot to enter an address! (txtAddress, --address)"_s);
    refused("numbers without ^N", u"-n|1:2"_s,
            u"OOPS! You checked the 'Increment numerically' checkbox but did not enter any "
            u"wildcards (^N) into the address textbox!"_s);
    refused("numbers the wrong way", u"-a|$BASE/^N|-n|5:1"_s,
            greater + u"(txtIncrementNumerically, --numbers)"_s);
    refused("a number that is none", u"-a|$BASE/^N|-n|x:1"_s,
            u"OOPS! The 'Start at' field under 'Increment numerically' does not hold a number!"_s);
    refused("letters without ^L", u"-l|a:b"_s,
            u"OOPS! You checked the 'Increment alphabetically' checkbox but did not enter any "
            u"wildcards (^L) into the address textbox!"_s);
    refused("letters the wrong way", u"-a|$BASE/^L|-l|c:a"_s,
            greater + u"(txtIncrementAlphabetically, --letters)"_s);
    refused("links saved nowhere", u"-o|"_s,
            u"OOPS! You didn't enter a destination path! (txtSaveLinks, --save-links)"_s);
    refused("no extension", u"-e|zip|-x|"_s,
            u"OOPS! You didn't enter a default extension! (txtDefaultExtension, --extension)"_s);
    refused("an invalid extension", u"-e|zip|-x|h?m"_s, u"The extension you entered is invalid."_s);
    refused("addresses saved nowhere", u"-r|"_s,
            u"OOPS! You didn't enter a destination file! (txtSaveHREFs, --save-hrefs)"_s);
    // Regression: every record of the run failed where the folder was missing.
    refused("addresses into a folder that does not exist", u"-r|$OUT/none"_s,
            u"The folder \"$OUT/none\" for the address records does not exist; make it first. "
            u"(txtSaveHREFs, --save-hrefs)"_s);
    // Unattended, nobody would press Stop: a series that does not end is refused.
    refused("a number increment of 0", u"-a|$BASE/^N|-n|1:10:0"_s,
            u"OOPS! The number series never ends: its increment is 0! "
            u"(txtIncrementNumerically, --numbers)"_s);
    refused("a number increment too small to reach the end", u"-a|$BASE/^N|-n|1:10:1e-300"_s,
            u"OOPS! The number series would take more than 10000000 pages! "
            u"(txtIncrementNumerically, --numbers)"_s);
    refused("a time-out of 0", u"-t|0"_s, u"OOPS! The time-out must be a number of seconds"_s);
    refused("no criteria", u"-x|bin"_s, u"OOPS! You did not enter any search criteria!"_s);
}

void tst_Unattended::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, interruptAt);
    QFETCH(int, status);
    QFETCH(QString, lastLine);
    QFETCH(QString, error);
    QFETCH(QStringList, files);
    QFETCH(QString, failed);

    for (QString &argument : arguments)
        argument = expand(argument);
    // A row that interrupts the run sends the signal whose status it expects.
    const Finished finished = runProgram(arguments, interruptAt, status - 128);
    QVERIFY2(finished.status == status, qPrintable(finished.errors));
    QCOMPARE(finished.endedBySignal, !interruptAt.isEmpty());
    QCOMPARE(finished.messages.value(finished.messages.size() - 1), expand(lastLine));
    QVERIFY2(finished.errors.contains(expand(error)), qPrintable(finished.errors));
    QCOMPARE(QDir(m_out->filePath(u"links"_s)).entryList(QDir::Files | QDir::Hidden), files);
    if (status == 2)
        QCOMPARE(m_server.requestLog(), QStringList{}); // refused before anything is fetched
    if (arguments.contains(u"--log"_s)) {
        // Owner-only, and each line after the date and time instead of the time of day.
        const QString log = m_out->filePath(u"run.log"_s);
        struct stat status = {};
        QCOMPARE(::stat(QFile::encodeName(log).constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0600u);
        const QStringList lines = QString::fromUtf8(ReadAll(log)).split(u'\n', Qt::SkipEmptyParts);
        const QRegularExpression stamp(u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d -> "_s);
        QCOMPARE(lines.filter(stamp).size(), lines.size());
        QCOMPARE(WithoutTime(lines).filter(u"Done.  Items downloaded: 2."_s).size(), 1);
        QVERIFY(WithoutTime(lines).contains(u"Error 404 at "_s + m_server.url(u"/status/404"_s)
                                            + u": HTTP 404 Not Found"_s));
    }
    if (arguments.contains(u"--failed"_s))
        QCOMPARE(QString::fromUtf8(ReadAll(m_out->filePath(u"failed.txt"_s))), expand(failed));
}

void tst_Unattended::identityReachesPagesAndFiles_data()
{
    QTest::addColumn<QByteArray>("cookies"); // the --cookies file
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error"); // on standard error
    QTest::addColumn<QStringList>("files");

    QTest::newRow("a session cookie as a browser exports it")
        << QByteArray("# Netscape HTTP Cookie File\n\n"
                      "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\ts3cret\n"
                      "127.0.0.1\tFALSE\t/\tFALSE\t4102444800\tlang\ten\n")
        << 0 << u"Run completed"_s << QStringList{u"f1.bin"_s, u"f2.bin"_s};
    QTest::newRow("a malformed line, refused by its number before any request")
        << QByteArray("127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\ts3cret\n"
                      "127.0.0.1 FALSE / FALSE 0 lang en\n")
        << 2 << u"line 2 is no cookie: it does not split at tabs into 7 fields."_s << QStringList{};
}

void tst_Unattended::identityReachesPagesAndFiles()
{
    QFETCH(QByteArray, cookies);
    QFETCH(int, status);
    QFETCH(QString, error);
    QFETCH(QStringList, files);

    QStringList arguments =
        expand(u"-a|$BASE/members/index.htm|-e.bin|-xbin|-o|$OUT/links|-U|Nightly/1.0 (cron)|-H|"
               u"X-Token: abc|--save-cookies|$OUT/saved.txt"_s)
            .split(u'|');
    QFile file(m_out->filePath(u"cookies.txt"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(cookies);
    file.close();
    arguments += {u"--cookies"_s, file.fileName()};
    const Finished finished = runProgram(arguments);
    QVERIFY2(finished.status == status, qPrintable(finished.errors));
    QVERIFY2(finished.errors.contains(expand(error)), qPrintable(finished.errors));
    const QDir links(m_out->filePath(u"links"_s));
    QCOMPARE(links.entryList(QDir::Files | QDir::Hidden), files);
    for (const QString &name : files)
        QCOMPARE(ReadAll(links.filePath(name)),
                 TestHttpServer::bytes(QByteArray("/members/" + name.toLatin1()).size() * 100));
    if (status == 2) {
        QCOMPARE(m_server.requestLog(), QStringList{});
        return;
    }

    // The page and every file carried the agent and the header; each file the session too.
    const QList<TestHttpRequest> requests = m_server.requests();
    int members = 0;
    for (const TestHttpRequest &request : requests) {
        if (!request.path.startsWith("/members/"))
            continue;
        ++members;
        QCOMPARE(request.header("user-agent"), QByteArray("Nightly/1.0 (cron)"));
        QCOMPARE(request.header("x-token"), QByteArray("abc"));
    }
    QCOMPARE(members, 1 + files.size());
    // The store as the run ended: the session given and the cookie the page renewed, owner-only.
    const QByteArray saved = ReadAll(m_out->filePath(u"saved.txt"_s));
    struct stat mode = {};
    QCOMPARE(::stat(QFile::encodeName(m_out->filePath(u"saved.txt"_s)).constData(), &mode), 0);
    QCOMPARE(mode.st_mode & 0777, 0600u);
    QVERIFY2(saved.contains("#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\ts3cret\n"),
             saved.constData());
    QVERIFY2(saved.contains("127.0.0.1\tFALSE\t/members\tFALSE\t0\trenewed\tyes\n"),
             saved.constData());
}

QTEST_MAIN(tst_Unattended)
#include "tst_unattended.moc"
