// Whole runs through the real main window: its embedded browser loads the pages from a
// loopback server, libcurl fetches the links, the files land in a temporary folder.
#include "curltransfer.h"
#include "fakes.h"
#include "frmmain.h"
#include "testhttpserver.h"
#include "wholerun.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A run that has not ended by then is stopped and the test fails.
constexpr int kRunMs = 30000;

QStringList Entries(const QListWidget *list)
{
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries.append(list->item(i)->text());
    return entries;
}

} // namespace

class tst_Scrape : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pageOrder_data();
    void pageOrder();
    void scriptWrittenLinksFound();
    void pageRedirectTaken();
    void filters_data();
    void filters();
    void linkDownload_data();
    void linkDownload();
    void linkAddressModes_data();
    void linkAddressModes();
    void overwriteRule_data();
    void overwriteRule();
    void everyLogLine();
    void stopDuringPageWait();
    void stopDuringDownloadThenGoAgain();
    void closeDuringDownload();
    void failuresAmongDownloadsAhead_data();
    void failuresAmongDownloadsAhead();
    void stopDuringDownloadsAhead();
    void largeLinkStaysOutOfMemory();
    void downloadsShareTheBrowsersIdentity_data();
    void downloadsShareTheBrowsersIdentity();

private:
    template<typename T>
    T *child(const char *name) const
    {
        return Child<T>(*m_window, name);
    }
    void set(const char *field, const QString &text) { child<QLineEdit>(field)->setText(text); }
    void tick(const char *box) { child<QCheckBox>(box)->click(); }
    // A job for one page at address, keeping links that end in any of ends.
    void oneJob(const QString &address, const QStringList &ends);
    void numbers(const QString &start, const QString &stop, const QString &step);
    void saveLinksTo(const QString &folder);
    // Presses Go and waits until the run has unwound; false when it had to be stopped.
    bool runToEnd();
    // The activity log without the time of day in front.
    QStringList messages() const;
    // The targets the server was asked for that start with prefix, in order.
    QStringList requested(const QString &prefix) const;
    QString errorPromptStart() const;

    QTemporaryDir m_settingsDir;
    TestHttpServer m_server;
    std::unique_ptr<QTemporaryDir> m_out;
    std::unique_ptr<CurlTransfer> m_inet;
    std::unique_ptr<FakePrompts> m_prompts;
    std::unique_ptr<frmMain> m_window;
};

void tst_Scrape::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    KeepSettingsIn(m_settingsDir.path());
    m_server.addPrefixRoute(u"/order/"_s, [](const TestHttpRequest &request) {
        return TestHttpResponse::page("<html><body>" + request.path + "</body></html>");
    });
    QVERIFY(m_server.start());
}

void tst_Scrape::init()
{
    m_out = std::make_unique<QTemporaryDir>();
    QVERIFY(m_out->isValid());
    m_server.clearRequestLog();
    QVERIFY(OpenWindow(m_inet, m_prompts, m_window));
    // Anything stuck fails within seconds, not at the suite's time limit.
    set("txtTimeOut", u"10"_s);
    set("txtDefaultExtension", u"txt"_s);
}

void tst_Scrape::cleanup()
{
    QVERIFY2(!m_prompts->unexpected, "a box asked for an answer the test did not give");
    m_window.reset();
    m_prompts.reset();
    m_inet.reset();
    m_out.reset();
}

void tst_Scrape::oneJob(const QString &address, const QStringList &ends)
{
    set("txtAddress", address);
    for (const QString &end : ends)
        child<QListWidget>("lstEnd")->addItem(end);
}

void tst_Scrape::numbers(const QString &start, const QString &stop, const QString &step)
{
    tick("chkIncNum");
    set("txtStartNum", start);
    set("txtStopNum", stop);
    set("txtIncrementNumerically", step);
}

void tst_Scrape::saveLinksTo(const QString &folder)
{
    tick("chkSaveLinks");
    set("txtSaveLinks", folder);
}

bool tst_Scrape::runToEnd()
{
    const bool ended = PressGo(*m_window, kRunMs);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsRunning(), 5000); }();
    // Every way out of a run leaves the normal pointer, Stop disabled and Go enabled.
    if (QApplication::overrideCursor() || child<QPushButton>("cmdStop")->isEnabled()
        || !child<QPushButton>("cmdGo")->isEnabled())
        return false;
    return ended;
}

QStringList tst_Scrape::messages() const
{
    QStringList lines;
    for (const QString &line : LogLines(*child<LogList>("lstLog")))
        lines.append(line.section(u" -> "_s, 1));
    return lines;
}

QStringList tst_Scrape::requested(const QString &prefix) const
{
    QStringList targets;
    for (const QString &target : m_server.requestLog())
        if (target.startsWith(prefix))
            targets.append(target);
    return targets;
}

QString tst_Scrape::errorPromptStart() const
{
    return u"YesNo|Error|An error has occurred.\r\n\r\nError: "_s;
}

// --- Pages and links ----------------------------------------------------------------------

void tst_Scrape::pageOrder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("numbers"); // start, stop, step; empty: box unticked
    QTest::addColumn<QStringList>("letters");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("numbers") << u"/order/p^N.htm"_s << QStringList{u"1"_s, u"3"_s, u"1"_s}
                             << QStringList()
                             << QStringList{u"/order/p1.htm"_s, u"/order/p2.htm"_s,
                                            u"/order/p3.htm"_s};
    QTest::newRow("letters outside, numbers inside")
        << u"/order/p^N^L.htm"_s << QStringList{u"1"_s, u"2"_s, u"1"_s}
        << QStringList{u"a"_s, u"b"_s, u"1"_s}
        << QStringList{u"/order/p1a.htm"_s, u"/order/p2a.htm"_s, u"/order/p1b.htm"_s,
                       u"/order/p2b.htm"_s};
    QTest::newRow("negative number step")
        << u"/order/p^N.htm"_s << QStringList{u"10"_s, u"1"_s, u"-3"_s} << QStringList()
        << QStringList{u"/order/p10.htm"_s, u"/order/p7.htm"_s, u"/order/p4.htm"_s,
                       u"/order/p1.htm"_s};
    QTest::newRow("letters down, half steps of numbers")
        << u"/order/^L^N.htm"_s << QStringList{u"1"_s, u"2"_s, u"0.5"_s}
        << QStringList{u"c"_s, u"b"_s, u"-1"_s}
        << QStringList{u"/order/c1.htm"_s, u"/order/c1.5.htm"_s, u"/order/c2.htm"_s,
                       u"/order/b1.htm"_s, u"/order/b1.5.htm"_s, u"/order/b2.htm"_s};
    QTest::newRow("no wildcards: one page") << u"/order/only.htm"_s << QStringList()
                                            << QStringList() << QStringList{u"/order/only.htm"_s};
}

void tst_Scrape::pageOrder()
{
    QFETCH(QString, path);
    QFETCH(QStringList, numbers);
    QFETCH(QStringList, letters);
    QFETCH(QStringList, expected);

    oneJob(m_server.url(path), {u"bin"_s});
    if (!numbers.isEmpty())
        this->numbers(numbers.at(0), numbers.at(1), numbers.at(2));
    if (!letters.isEmpty()) {
        tick("chkIncAlpha");
        set("txtStartAlpha", letters.at(0));
        set("txtStopAlpha", letters.at(1));
        set("txtIncrementAlphabetically", letters.at(2));
    }
    QVERIFY(runToEnd());

    QCOMPARE(requested(u"/order/"_s), expected);
    QStringList downloaded;
    for (const QString &message : messages())
        if (message.startsWith(u"Source code has been downloaded: "_s))
            downloaded.append(message);
    QStringList wanted;
    for (const QString &target : expected)
        wanted.append(u"Source code has been downloaded: "_s + m_server.url(target) + u'.');
    QCOMPARE(downloaded, wanted);
    QCOMPARE(messages().constLast(), u"Done.  Items downloaded: 0."_s);
}

void tst_Scrape::scriptWrittenLinksFound()
{
    // The links exist only once the page's script has run: the run reads the browser's
    // document, not the bytes sent.
    oneJob(m_server.url(u"/script-links"_s), {});
    child<QListWidget>("lstInterior")->addItem(u"linked"_s);
    tick("chkSaveHREFs");
    set("txtSaveHREFs", m_out->path());
    QVERIFY(runToEnd());

    QVERIFY(!TestHttpServer::scriptLinksPage({u"/linked/1"_s}).contains("href=\""));
    QVERIFY(messages().contains(u"Source code has been parsed: 3 total links."_s));
    QCOMPARE(messages().constLast(), u"Done.  Items downloaded: 3."_s);
    const QString base = m_server.url(QString());
    QCOMPARE(ReadAll(m_out->filePath(u"1.txt"_s)),
             (u"\"%1/linked/1\"\r\n\"%1/linked/2\"\r\n\"%1/linked/3\"\r\n"_s.arg(base)).toUtf8());
}

void tst_Scrape::pageRedirectTaken()
{
    // The page ends up at another address: its markup is taken all the same.
    m_server.addRedirect(u"/old.htm"_s, u"/new.htm"_s);
    m_server.addPage(u"/new.htm"_s, Page({u"moved.bin"_s}));
    oneJob(m_server.url(u"/old.htm"_s), {u"bin"_s});
    QVERIFY(runToEnd());

    QCOMPARE(requested(u"/"_s).filter(u".htm"_s), (QStringList{u"/old.htm"_s, u"/new.htm"_s}));
    QCOMPARE(
        messages().mid(0, 2),
        (QStringList{u"Source code has been downloaded: "_s + m_server.url(u"/old.htm"_s) + u'.',
                     u"Source code has been parsed: 1 total links."_s}));
    QCOMPARE(messages().constLast(), u"Done.  Items downloaded: 1."_s);
    QCOMPARE(child<QLabel>("lblLocation")->text(), m_server.url(u"/new.htm"_s));
    QVERIFY(m_prompts->shown.isEmpty());
}

void tst_Scrape::filters_data()
{
    QTest::addColumn<QStringList>("criteria"); // list=entry, and/or the words and1, and2
    QTest::addColumn<QStringList>("kept");

    QTest::newRow("end zip or exe")
        << QStringList{u"lstEnd=zip"_s, u"lstEnd=exe"_s}
        << QStringList{u"files/a.zip"_s, u"http://other.test/download/b.exe"_s};
    QTest::newRow("beginning or end") << QStringList{u"lstBeginning=/docs/"_s, u"lstEnd=zip"_s}
                                      << QStringList{u"files/a.zip"_s, u"/docs/page.htm"_s};
    QTest::newRow("beginning and interior")
        << QStringList{u"lstBeginning=http://"_s, u"lstInterior=download"_s, u"and1"_s}
        << QStringList{u"http://other.test/download/b.exe"_s};
    QTest::newRow("case counts") << QStringList{u"lstEnd=EXE"_s} << QStringList{u"setup.EXE"_s};
}

void tst_Scrape::filters()
{
    QFETCH(QStringList, criteria);
    QFETCH(QStringList, kept);

    const QStringList links{u"files/a.zip"_s, u"files/a.htm"_s, u"setup.EXE"_s,
                            u"http://other.test/download/b.exe"_s, u"/docs/page.htm"_s};
    m_server.addPage(u"/filters.htm"_s, Page(links));
    set("txtAddress", m_server.url(u"/filters.htm"_s));
    for (const QString &criterion : criteria) {
        if (criterion == u"and1"_s)
            child<QRadioButton>("optAnd1")->click();
        else
            m_window->findChild<QListWidget *>(criterion.section(u'=', 0, 0))
                ->addItem(criterion.section(u'=', 1));
    }
    QVERIFY(runToEnd());

    QCOMPARE(Entries(child<QListWidget>("lstCode")), kept);
    QCOMPARE(messages().mid(1, 2),
             (QStringList{u"Source code has been parsed: 5 total links."_s,
                          u"Filters have been applied: %1 relevant links."_s.arg(kept.size())}));
    // Neither output is on: every kept link counts, and none is fetched.
    QCOMPARE(messages().constLast(), u"Done.  Items downloaded: %1."_s.arg(kept.size()));
    QCOMPARE(m_server.requestLog().filter(u"download"_s), QStringList());
}

// --- Downloads ----------------------------------------------------------------------------

void tst_Scrape::linkDownload_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("timeOut");
    QTest::addColumn<QList<bool>>("answers"); // to the "Error" box, in order
    QTest::addColumn<QString>("file");        // the name it is saved under
    QTest::addColumn<QByteArray>("content");  // null: no file at all

    const QList<bool> none;
    QTest::newRow("small file") << u"/bytes/5000"_s << u"10"_s << none << u"5000"_s
                                << TestHttpServer::bytes(5000);
    QTest::newRow("large file") << u"/bytes/3000000"_s << u"10"_s << none << u"3000000"_s
                                << TestHttpServer::bytes(3000000);
    QTest::newRow("three bytes are kept")
        << u"/bytes/3"_s << u"10"_s << none << u"3"_s << TestHttpServer::bytes(3);
    QTest::newRow("two bytes are not")
        << u"/bytes/2"_s << u"10"_s << none << u"2"_s << QByteArray();
    QTest::newRow("nothing is not") << u"/bytes/0"_s << u"10"_s << none << u"0"_s << QByteArray();
    QTest::newRow("redirect followed")
        << u"/moved/r.bin"_s << u"10"_s << none << u"r.bin"_s << TestHttpServer::bytes(4000);
    QTest::newRow("404, yes") << u"/status/404"_s << u"10"_s << QList<bool>{true} << u"404"_s
                              << QByteArray();
    QTest::newRow("404, no") << u"/status/404"_s << u"10"_s << QList<bool>{false} << u"404"_s
                             << QByteArray();
    QTest::newRow("cut-off body, yes")
        << u"/cut"_s << u"10"_s << QList<bool>{true} << u"cut"_s << QByteArray();
    QTest::newRow("hanging server, yes")
        << u"/hang"_s << u"2"_s << QList<bool>{true} << u"hang"_s << QByteArray();
    QTest::newRow("hanging server, no")
        << u"/hang"_s << u"2"_s << QList<bool>{false} << u"hang"_s << QByteArray();
    QTest::newRow("refused port, yes")
        << u"refused"_s << u"10"_s << QList<bool>{true} << u"x.bin"_s << QByteArray();
    QTest::newRow("refused port, no")
        << u"refused"_s << u"10"_s << QList<bool>{false} << u"x.bin"_s << QByteArray();
}

void tst_Scrape::linkDownload()
{
    QFETCH(QString, link);
    QFETCH(QString, timeOut);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, file);
    QFETCH(QByteArray, content);

    if (link == u"refused"_s)
        link = TestHttpServer::refusedAddress() + u"x.bin"_s;
    m_server.addRedirect(u"/moved/r.bin"_s, u"/bytes/4000"_s);
    m_server.addPage(u"/download.htm"_s, Page({link}));
    oneJob(m_server.url(u"/download.htm"_s), {});
    child<QListWidget>("lstInterior")->addItem(u"/"_s);
    set("txtTimeOut", timeOut);
    saveLinksTo(m_out->path());
    for (bool answer : answers)
        m_prompts->answers.enqueue(answer);
    QVERIFY(runToEnd());

    const QString path = m_out->filePath(file);
    QCOMPARE(m_prompts->shown.size(), answers.size());
    for (const QString &shown : std::as_const(m_prompts->shown)) {
        QVERIFY2(shown.startsWith(errorPromptStart()), qPrintable(shown));
        QVERIFY(shown.endsWith(u"\r\n\r\nWould you like to continue?"_s));
        QVERIFY(shown.contains(u"\r\nDescription: "_s));
    }
    // Nothing but the file itself, and that only when it is whole.
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
             content.isNull() ? QStringList() : QStringList{file});
    if (!content.isNull())
        QVERIFY(ReadAll(path) == content);

    QStringList tail{u"Source code has been downloaded: "_s + m_server.url(u"/download.htm"_s)
                         + u'.',
                     u"Source code has been parsed: 1 total links."_s,
                     u"Filters have been applied: 1 relevant links."_s};
    if (!content.isNull())
        tail.append(u"Download complete: "_s + path + u'.');
    const bool no = !answers.isEmpty() && !answers.constLast();
    if (!no)
        tail.append(u"Done.  Items downloaded: %1."_s.arg(content.isNull() ? 0 : 1));
    QCOMPARE(messages(), tail);
    QCOMPARE(m_window->ItemsDownloaded(), content.isNull() ? 0 : 1);
    QCOMPARE(child<QStatusBar>("staMain")->currentMessage(), u"Downloading: "_s + link);
}

void tst_Scrape::linkAddressModes_data()
{
    QTest::addColumn<bool>("onePerFile");
    QTest::addColumn<QByteArray>("records"); // %1 stands for the server's base address
    QTest::addColumn<int>("counted");

    QTest::newRow("all in one file")
        << false
        << QByteArray("\"%1/show.asp?id=42&page=2\"\r\n\"%1/show.asp?id=&x=1\"\r\n\"%1/"
                      "show.asp?id=7&p=1\"\r\n")
        << 3;
    // Each counted link rewrites the page's file; an empty first value is not counted.
    QTest::newRow("one per file") << true << QByteArray("\"7\"\r\n") << 2;
}

void tst_Scrape::linkAddressModes()
{
    QFETCH(bool, onePerFile);
    QFETCH(QByteArray, records);
    QFETCH(int, counted);

    m_server.addPage(u"/list3.htm"_s,
                     Page({u"show.asp?id=42&amp;page=2"_s, u"show.asp?id=&amp;x=1"_s,
                           u"show.asp?id=7&amp;p=1"_s}));
    oneJob(m_server.url(u"/list^N.htm"_s), {});
    child<QListWidget>("lstBeginning")->addItem(u"show"_s);
    numbers(u"3"_s, u"3"_s, u"1"_s);
    const QString hrefs = m_out->filePath(u"hrefs"_s);
    QVERIFY(QDir().mkpath(hrefs));
    tick("chkSaveHREFs");
    child<QRadioButton>(onePerFile ? "optOneHREFPerFile" : "optAllHREFsOneFile")->click();
    set("txtSaveHREFs", hrefs + u'/');
    // Not saved, but the would-be download path names the log lines.
    set("txtSaveLinks", m_out->filePath(u"links"_s));
    QVERIFY(runToEnd());

    QCOMPARE(ReadAll(hrefs + u"/3.txt"_s),
             QByteArray(records).replace("%1", m_server.url(QString()).toUtf8()));
    QCOMPARE(QDir(hrefs).entryList(QDir::Files | QDir::Hidden), QStringList{u"3.txt"_s});
    QCOMPARE(messages().constLast(), u"Done.  Items downloaded: %1."_s.arg(counted));
    const QString logged = onePerFile ? hrefs + u"/3.txt"_s : m_out->filePath(u"links/3.txt"_s);
    QCOMPARE(messages().count(u"Download complete: "_s + logged + u'.'), counted);
    QCOMPARE(requested(u"/show"_s), QStringList());
    // The window's file naming reads the run's current number.
    QCOMPARE(QFileInfo(m_window->GetFilename(u"a?b"_s, m_out->path())).fileName(), u"3.txt"_s);
}

void tst_Scrape::overwriteRule_data()
{
    QTest::addColumn<bool>("overwrite");
    QTest::newRow("kept") << false;
    QTest::newRow("replaced whole") << true;
}

void tst_Scrape::overwriteRule()
{
    QFETCH(bool, overwrite);

    // A file that is there, and a name that two links of the page share: with downloads
    // fetched ahead, each is fetched only when its turn would download it.
    const QString path = m_out->filePath(u"100"_s);
    const QByteArray old(5000, 'o');
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    const QByteArray first = TestHttpServer::bytes(300), second(400, 'b');
    m_server.addPage(u"/a/x.bin"_s, first, "application/octet-stream");
    m_server.addPage(u"/b/x.bin"_s, second, "application/octet-stream");
    m_server.addPage(u"/overwrite.htm"_s, Page({u"/bytes/100"_s, u"/a/x.bin"_s, u"/b/x.bin"_s}));
    oneJob(m_server.url(u"/overwrite.htm"_s), {u"100"_s, u"bin"_s});
    saveLinksTo(m_out->path());
    if (overwrite)
        tick("chkOverwrite");
    QVERIFY(runToEnd());

    const QString shared = m_out->filePath(u"x.bin"_s);
    QCOMPARE(ReadAll(path), overwrite ? TestHttpServer::bytes(100) : old);
    QVERIFY(ReadAll(shared) == (overwrite ? second : first));
    const QString again = overwrite ? u"Download complete: "_s : u"File already exists: "_s;
    QCOMPARE(messages().mid(3),
             (QStringList{again + path + u'.', u"Download complete: "_s + shared + u'.',
                          again + shared + u'.',
                          u"Done.  Items downloaded: %1."_s.arg(overwrite ? 3 : 1)}));
    QCOMPARE(requested(u"/bytes/"_s).size(), overwrite ? 1 : 0);
    QCOMPARE(requested(u"/a/"_s).size(), 1);
    QCOMPARE(requested(u"/b/"_s).size(), overwrite ? 1 : 0);
    QCOMPARE(QDir(m_out->path())
                 .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{u"100"_s, u"x.bin"_s}));
}

void tst_Scrape::everyLogLine()
{
    // Two pages with an ampersand in their address; the second has a link that is too short
    // to keep and one whose name clashes with an earlier file.
    m_server.addPage(u"/log1.htm"_s, Page({u"/bytes/10"_s, u"/bytes/20"_s, u"a.gif"_s}));
    m_server.addPage(u"/log2.htm"_s, Page({u"/bytes/1"_s, u"/bytes/10"_s, u"/bytes/30"_s}));
    oneJob(m_server.url(u"/log^N.htm?a=1&b=2"_s), {});
    child<QListWidget>("lstBeginning")->addItem(u"/bytes/"_s);
    numbers(u"1"_s, u"2"_s, u"1"_s);
    saveLinksTo(m_out->path());
    QVERIFY(runToEnd());

    const QString page1 = m_server.url(u"/log1.htm?a=1&b=2"_s);
    const QString page2 = m_server.url(u"/log2.htm?a=1&b=2"_s);
    const QString out = m_out->path() + u'/';
    QCOMPARE(messages(),
             (QStringList{
                 u"Source code has been downloaded: "_s + page1 + u'.',
                 u"Source code has been parsed: 3 total links."_s,
                 u"Filters have been applied: 2 relevant links."_s,
                 u"Download complete: "_s + out + u"10."_s,
                 u"Download complete: "_s + out + u"20."_s,
                 u"Source code has been downloaded: "_s + page2 + u'.',
                 u"Source code has been parsed: 3 total links."_s,
                 u"Filters have been applied: 3 relevant links."_s,
                 u"File already exists: "_s + out + u"10."_s,
                 u"Download complete: "_s + out + u"30."_s,
                 u"Done.  Items downloaded: 3."_s,
             }));
    // Each line starts with the time of day and " -> ".
    const QStringList lines = LogLines(*child<LogList>("lstLog"));
    const QRegularExpression timed(u"^\\d{1,2}:\\d\\d:\\d\\d.* -> "_s);
    for (const QString &line : lines)
        QVERIFY2(timed.match(line).hasMatch(), qPrintable(line));
    QCOMPARE(child<LogList>("lstLog")->currentRow(), lines.size() - 1);

    // Shown with single ampersands, as a caption escaping them with "&&" displays.
    QCOMPARE(child<QLabel>("lblLocation")->text(), page2);
    QVERIFY(child<QPlainTextEdit>("rtfCode")->toPlainText().contains(u"/bytes/30"_s));
    QCOMPARE(m_window->PageMarkup(), child<QPlainTextEdit>("rtfCode")->toPlainText());
    QCOMPARE(child<QStatusBar>("staMain")->currentMessage(), u"Downloading: /bytes/30"_s);
    QCOMPARE(child<QTabWidget>("tabMain")->currentIndex(), 1);
    QCOMPARE(ReadAll(out + u"30"_s), TestHttpServer::bytes(30));
}

// --- Stop -----------------------------------------------------------------------------------

void tst_Scrape::stopDuringPageWait()
{
    oneJob(m_server.url(u"/hang"_s), {u"bin"_s});
    ActWhen stop([&] { return m_server.requestCount(u"/hang"_s) > 0; },
                 [&] { child<QPushButton>("cmdStop")->click(); });
    QVERIFY(runToEnd());

    QVERIFY(stop.fired);
    QCOMPARE(messages(), QStringList{u"Action has been cancelled!"_s});
    QVERIFY(m_window->CancelRequested());
    QVERIFY(m_prompts->shown.isEmpty());
}

void tst_Scrape::stopDuringDownloadThenGoAgain()
{
    m_server.addPage(u"/slow.htm"_s, Page({u"/slow?n=400&ms=25"_s}));
    oneJob(m_server.url(u"/slow.htm"_s), {});
    child<QListWidget>("lstInterior")->addItem(u"slow?"_s);
    saveLinksTo(m_out->path());
    ActWhen stop(
        [&] {
            return m_inet->StillExecuting() && m_server.requestCount(u"/slow?n=400&ms=25"_s) > 0;
        },
        [&] { child<QPushButton>("cmdStop")->click(); });
    QVERIFY(runToEnd());

    QVERIFY(stop.fired);
    QCOMPARE(messages().constLast(), u"Action has been cancelled!"_s);
    QVERIFY(!messages().filter(u"Done."_s).size());
    QVERIFY(m_prompts->shown.isEmpty());
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());

    // A fresh run: an empty log to begin with, the flag cleared, and this time it finishes.
    m_server.addPage(u"/quick.htm"_s, Page({u"/slow?n=40&ms=1"_s}));
    set("txtAddress", m_server.url(u"/quick.htm"_s));
    QVERIFY(runToEnd());
    QVERIFY(!m_window->CancelRequested());
    QCOMPARE(messages().constFirst(),
             u"Source code has been downloaded: "_s + m_server.url(u"/quick.htm"_s) + u'.');
    QCOMPARE(messages().constLast(), u"Done.  Items downloaded: 1."_s);
    // "?" cannot be in a file name: the page number and the extension name it.
    QCOMPARE(ReadAll(m_out->filePath(u"1.txt"_s)), TestHttpServer::bytes(40));
}

void tst_Scrape::closeDuringDownload()
{
    m_server.addPage(u"/close.htm"_s, Page({u"/slow?n=300&ms=25"_s}));
    oneJob(m_server.url(u"/close.htm"_s), {});
    child<QListWidget>("lstInterior")->addItem(u"slow?"_s);
    saveLinksTo(m_out->path());
    ActWhen close([&] { return m_inet->StillExecuting(); }, [&] { m_window->close(); });
    QVERIFY(runToEnd());

    QVERIFY(close.fired);
    QVERIFY(!m_window->isVisible());
    QVERIFY(!m_inet->StillExecuting());
    QCOMPARE(
        messages(),
        (QStringList{u"Source code has been downloaded: "_s + m_server.url(u"/close.htm"_s) + u'.',
                     u"Source code has been parsed: 1 total links."_s,
                     u"Filters have been applied: 1 relevant links."_s,
                     u"Action has been cancelled!"_s}));
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());

    // A closing window starts no further run.
    child<QPushButton>("cmdGo")->click();
    QCOMPARE(messages().constLast(), u"Action has been cancelled!"_s);
    QCOMPARE(m_server.requestCount(u"/close.htm"_s), 1);
}

// --- Downloads ahead --------------------------------------------------------------------------

void tst_Scrape::failuresAmongDownloadsAhead_data()
{
    QTest::addColumn<QList<bool>>("answers"); // to the prompts for the 404, then the 500
    QTest::addColumn<QStringList>("saved");   // the files downloaded, in log order
    QTest::newRow("yes to both") << QList<bool>{true, true}
                                 << QStringList{u"101"_s, u"102"_s, u"103"_s, u"104"_s};
    QTest::newRow("yes, then no") << QList<bool>{true, false} << QStringList{u"101"_s, u"102"_s};
    QTest::newRow("no at the first") << QList<bool>{false} << QStringList{u"101"_s};
}

void tst_Scrape::failuresAmongDownloadsAhead()
{
    QFETCH(QList<bool>, answers);
    QFETCH(QStringList, saved);

    // Fetched ahead or not, each failure is asked about in its own link's turn, and
    // nothing fetched ahead of a No stays behind.
    m_server.addPage(u"/failing.htm"_s,
                     Page({u"/bytes/101"_s, u"/status/404"_s, u"/bytes/102"_s, u"/status/500"_s,
                           u"/bytes/103"_s, u"/bytes/104"_s}));
    oneJob(m_server.url(u"/failing.htm"_s), {});
    child<QListWidget>("lstInterior")->addItem(u"/"_s);
    saveLinksTo(m_out->path());
    for (bool answer : answers)
        m_prompts->answers.enqueue(answer);
    QVERIFY(runToEnd());

    QCOMPARE(m_prompts->shown.size(), answers.size());
    const QStringList codes{u"404"_s, u"500"_s};
    for (qsizetype i = 0; i < answers.size(); ++i)
        QVERIFY2(m_prompts->shown.at(i).startsWith(errorPromptStart() + codes.at(i)),
                 qPrintable(m_prompts->shown.at(i)));
    QStringList expected{u"Source code has been downloaded: "_s + m_server.url(u"/failing.htm"_s)
                             + u'.',
                         u"Source code has been parsed: 6 total links."_s,
                         u"Filters have been applied: 6 relevant links."_s};
    for (const QString &name : std::as_const(saved))
        expected.append(u"Download complete: "_s + m_out->filePath(name) + u'.');
    if (answers.constLast())
        expected.append(u"Done.  Items downloaded: 4."_s);
    QCOMPARE(messages(), expected);
    QCOMPARE(QDir(m_out->path())
                 .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             saved);
    for (const QString &name : std::as_const(saved))
        QVERIFY(ReadAll(m_out->filePath(name)) == TestHttpServer::bytes(name.toInt()));
    QTRY_VERIFY_WITH_TIMEOUT(!m_inet->StillExecuting(), 2000);
}

void tst_Scrape::stopDuringDownloadsAhead()
{
    m_server.addPrefixRoute(u"/slowfile/"_s, [](const TestHttpRequest &) {
        TestHttpResponse response = TestHttpResponse::page(TestHttpServer::bytes(400),
                                                           "application/octet-stream");
        response.delivery = TestHttpResponse::Delivery::Trickle;
        response.trickleIntervalMs = 25;
        return response;
    });
    QStringList links;
    for (int i = 1; i <= 8; ++i)
        links.append(u"/slowfile/%1.bin"_s.arg(i));
    m_server.addPage(u"/ahead.htm"_s, Page(links));
    oneJob(m_server.url(u"/ahead.htm"_s), {u"bin"_s});
    saveLinksTo(m_out->path());
    // Stop once as many links as one host takes at a time are on their way.
    ActWhen stop([&] { return requested(u"/slowfile/"_s).size() >= Transfer::MaxPerHost; },
                 [&] { child<QPushButton>("cmdStop")->click(); });
    QVERIFY(runToEnd());

    QVERIFY(stop.fired);
    QCOMPARE(messages().constLast(), u"Action has been cancelled!"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!m_inet->StillExecuting(), 2000); // cancelled, on their thread
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

void tst_Scrape::largeLinkStaysOutOfMemory()
{
    constexpr qint64 size = 50 * 1024 * 1024;
    const auto rss = [] { // this process's resident memory in bytes
        QFile status(u"/proc/self/status"_s);
        if (!status.open(QIODevice::ReadOnly))
            return qint64(0);
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').constFirst().toLongLong() * 1024;
        return qint64(0);
    };
    m_server.addPage(u"/large.htm"_s, Page({u"/generated/%1"_s.arg(size)}));
    oneJob(m_server.url(u"/large.htm"_s), {});
    child<QListWidget>("lstInterior")->addItem(u"/generated/"_s);
    saveLinksTo(m_out->path());
    qint64 peak = 0;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] { peak = std::max(peak, rss()); });
    const qint64 before = rss();
    sampler.start(5);
    QVERIFY(runToEnd());
    sampler.stop();

    const QString path = m_out->filePath(QString::number(size));
    QCOMPARE(QFileInfo(path).size(), size);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(1 << 16) == TestHttpServer::bytes(1 << 16));
    QVERIFY2(peak - before < size / 2, qPrintable(u"memory rose by %1 bytes"_s.arg(peak - before)));
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QString::number(size)});
}

// --- Downloads as the browser makes its requests --------------------------------------------

void tst_Scrape::downloadsShareTheBrowsersIdentity_data()
{
    QTest::addColumn<QString>("site");              // every path of the row starts with it
    QTest::addColumn<QByteArrayList>("setCookies"); // Set-Cookie headers of the first page
    QTest::addColumn<QByteArray>("script");         // run by the first page as it loads
    QTest::addColumn<QStringList>("links");         // the first page's links below the site
    QTest::addColumn<int>("pages");                 // the second asks for the token cookie
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QByteArrayList>("unsent"); // cookie names no download may carry

    QTest::newRow("a session set by the page's answer")
        << u"/ida"_s << QByteArrayList{"session=abc; Path=/ida; HttpOnly"} << QByteArray()
        << QStringList{u"need-session/1.bin"_s} << 1 << QStringList{u"1.bin"_s} << QByteArrayList();
    QTest::newRow("a session set by the page's script")
        << u"/idb"_s << QByteArrayList()
        << QByteArray("document.cookie = 'session=abc; path=/idb';")
        << QStringList{u"need-session/1.bin"_s} << 1 << QStringList{u"1.bin"_s} << QByteArrayList();
    QTest::newRow("the page as referrer")
        << u"/idc"_s << QByteArrayList() << QByteArray() << QStringList{u"need-referer/1.bin"_s}
        << 1 << QStringList{u"1.bin"_s} << QByteArrayList();
    QTest::newRow("a download's cookie opens the next page")
        << u"/idd"_s << QByteArrayList() << QByteArray() << QStringList{u"sets-token/1.bin"_s} << 2
        << QStringList{u"1.bin"_s, u"2.bin"_s} << QByteArrayList();
    QTest::newRow("another path, another host, expired: never sent")
        << u"/ide"_s
        << QByteArrayList{"elsewhere=1; Path=/elsewhere",
                          "foreign=1; Domain=example.invalid; Path=/",
                          "old=1; Path=/; Expires=Thu, 01 Jan 1970 00:00:01 GMT"}
        << QByteArray() << QStringList{u"plain/1.bin"_s} << 1 << QStringList{u"1.bin"_s}
        << QByteArrayList{"elsewhere", "foreign", "old"};
    QTest::newRow("a cookie the page's script removes: never sent")
        << u"/idf"_s << QByteArrayList{"gone=1; Path=/idf"}
        << QByteArray(
               "document.cookie = 'gone=; path=/idf; expires=Thu, 01 Jan 1970 00:00:00 GMT';")
        << QStringList{u"plain/1.bin"_s} << 1 << QStringList{u"1.bin"_s} << QByteArrayList{"gone"};
}

void tst_Scrape::downloadsShareTheBrowsersIdentity()
{
    QFETCH(QString, site);
    QFETCH(QByteArrayList, setCookies);
    QFETCH(QByteArray, script);
    QFETCH(QStringList, links);
    QFETCH(int, pages);
    QFETCH(QStringList, files);
    QFETCH(QByteArrayList, unsent);

    // Files that refuse what a browser would not be refused; the site's pages come first.
    const QByteArray base = site.toUtf8();
    m_server.addPrefixRoute(site + u'/', [base](const TestHttpRequest &request) {
        const QByteArray kind = request.path.mid(base.size() + 1).split('/').constFirst();
        const QByteArray cookie = request.header("cookie");
        const bool refused = (kind == "need-session" && !cookie.contains("session=abc"))
            || (kind == "need-referer" && !request.header("referer").endsWith(base + "/page1.htm"));
        if (refused)
            return TestHttpResponse::error(403);
        TestHttpResponse response = TestHttpResponse::page(TestHttpServer::bytes(100),
                                                           "application/octet-stream");
        if (kind == "sets-token")
            response.headers.append(qMakePair(QByteArray("Set-Cookie"), "token=xyz; Path=" + base));
        return response;
    });
    QStringList first;
    for (const QString &link : std::as_const(links))
        first.append(site + u'/' + link);
    m_server.addRoute(
        site + u"/page1.htm"_s, [setCookies, script, page = Page(first)](const TestHttpRequest &) {
            TestHttpResponse response = TestHttpResponse::page(
                QByteArray(page).replace("<body>", "<body><script>" + script + "</script>"));
            for (const QByteArray &value : setCookies)
                response.headers.append(qMakePair(QByteArray("Set-Cookie"), value));
            return response;
        });
    const QByteArray second = Page({site + u"/plain/2.bin"_s});
    m_server.addRoute(site + u"/page2.htm"_s, [second](const TestHttpRequest &request) {
        return TestHttpResponse::page(request.header("cookie").contains("token=xyz") ? second
                                                                                     : Page({}));
    });
    oneJob(m_server.url(site + u"/page^N.htm"_s), {u"bin"_s});
    numbers(u"1"_s, QString::number(pages), u"1"_s);
    saveLinksTo(m_out->path());
    QVERIFY(runToEnd());

    QCOMPARE(m_prompts->shown, QStringList());
    QCOMPARE(QDir(m_out->path())
                 .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             files);
    // Every download presents the browser's own user agent and languages.
    const QList<TestHttpRequest> requests = m_server.requests();
    const auto page = std::find_if(
        requests.begin(), requests.end(),
        [&](const TestHttpRequest &request) { return request.path.endsWith("/page1.htm"); });
    QVERIFY(page != requests.end());
    int downloads = 0;
    for (const TestHttpRequest &request : requests) {
        if (!request.path.endsWith(".bin"))
            continue;
        ++downloads;
        QCOMPARE(request.header("user-agent"), page->header("user-agent"));
        QCOMPARE(request.header("accept-language"), page->header("accept-language"));
        for (const QByteArray &name : std::as_const(unsent))
            QVERIFY2(!request.header("cookie").contains(name + '='),
                     request.header("cookie").constData());
    }
    QCOMPARE(downloads, files.size());
}

QTEST_MAIN(tst_Scrape)
#include "tst_scrape.moc"
