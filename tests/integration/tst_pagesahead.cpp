// Whole runs through the real main window while the next pages of the series load ahead: the
// files, the questions and the end of a run are those of a run one page at a time.
#include "curltransfer.h"
#include "fakes.h"
#include "frmmain.h"
#include "runports.h"
#include "testhttpserver.h"
#include "webbrowser.h"
#include "wholerun.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRunMs = 30000;
constexpr int kPages = 5;

} // namespace

class TestPagesAhead : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void cookiesOfTheOnePageBefore_data();
    void cookiesOfTheOnePageBefore();
    void failingPageAskedInItsTurn_data();
    void failingPageAskedInItsTurn();
    void stopEndsEveryLoad_data();
    void stopEndsEveryLoad();

private:
    void Set(const char *field, const QString &text)
    {
        Child<QLineEdit>(*m_window, field)->setText(text);
    }
    // Pages 1 to kPages of the site, keeping links that end in ".bin", saved to the folder.
    void Job(const QString &site);
    QStringList Messages() const;
    QStringList Files() const;

    QTemporaryDir m_settingsDir;
    TestHttpServer m_server;
    std::unique_ptr<QTemporaryDir> m_out;
    std::unique_ptr<CurlTransfer> m_inet;
    std::unique_ptr<FakePrompts> m_prompts;
    std::unique_ptr<frmMain> m_window;
    // The most pages seen loading out of sight at once, so a test knows they did.
    int m_mostOutOfSight = 0;
    QTimer m_sampler;
};

void TestPagesAhead::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    KeepSettingsIn(m_settingsDir.path());
    QVERIFY(m_server.start());
}

void TestPagesAhead::init()
{
    m_out = std::make_unique<QTemporaryDir>();
    QVERIFY(m_out->isValid());
    m_server.clearRequestLog();
    QVERIFY(OpenWindow(m_inet, m_prompts, m_window));
    Set("txtTimeOut", u"10"_s);
    Set("txtDefaultExtension", u"txt"_s);
    m_mostOutOfSight = 0;
    m_sampler.disconnect();
    connect(&m_sampler, &QTimer::timeout, this, [this] {
        m_mostOutOfSight = std::max(m_mostOutOfSight,
                                    Child<WebBrowser>(*m_window, "Browser")->PagesOutOfSight());
    });
    m_sampler.start(2);
}

void TestPagesAhead::cleanup()
{
    m_sampler.stop();
    QVERIFY2(!m_prompts->unexpected, "a box asked for an answer the test did not give");
    m_window.reset();
    m_prompts.reset();
    m_inet.reset();
    m_out.reset();
}

void TestPagesAhead::Job(const QString &site)
{
    Set("txtAddress", m_server.url(site + u"/p^N.htm"_s));
    Child<QListWidget>(*m_window, "lstEnd")->addItem(u"bin"_s);
    Child<QCheckBox>(*m_window, "chkIncNum")->click();
    Set("txtStartNum", u"1"_s);
    Set("txtStopNum", QString::number(kPages));
    Set("txtIncrementNumerically", u"1"_s);
    Child<QCheckBox>(*m_window, "chkSaveLinks")->click();
    Set("txtSaveLinks", m_out->path());
}

QStringList TestPagesAhead::Messages() const
{
    QStringList lines;
    for (const QString &line : LogLines(*Child<LogList>(*m_window, "lstLog")))
        lines.append(line.section(u" -> "_s, 1));
    return lines;
}

QStringList TestPagesAhead::Files() const
{
    return QDir(m_out->path())
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// --- Cookies --------------------------------------------------------------------------------

void TestPagesAhead::cookiesOfTheOnePageBefore_data()
{
    QTest::addColumn<QString>("site");
    QTest::addColumn<bool>("byScript"); // else by a download of the page

    QTest::newRow("set by the page's script") << u"/cks"_s << true;
    QTest::newRow("set by a download of the page") << u"/ckd"_s << false;
}

void TestPagesAhead::cookiesOfTheOnePageBefore()
{
    QFETCH(QString, site);
    QFETCH(bool, byScript);

    // Page n sets the cookie c<n>. Page n + 1 links a file named after whether its own
    // request carried c<n>, which a page loaded before page n had run does not.
    QWebEngineProfile::defaultProfile()->cookieStore()->deleteAllCookies();
    const QByteArray base = site.toUtf8();
    m_server.addPrefixRoute(site + u'/', [base, byScript](const TestHttpRequest &request) {
        const QByteArray name = request.path.mid(base.size() + 1);
        // The number in the name's last segment: p<n>.htm, f/<n>-<seen>.bin, set/s<n>.bin.
        QByteArray digits = name.mid(name.lastIndexOf('/') + 1);
        while (!digits.isEmpty() && !std::isdigit(static_cast<unsigned char>(digits.front())))
            digits.remove(0, 1);
        const int n = std::atoi(digits.constData());
        const bool carried = request.header("cookie").contains("c" + QByteArray::number(n - 1)
                                                               + "=1");
        if (name.endsWith(".bin")) {
            TestHttpResponse file = TestHttpResponse::page(TestHttpServer::bytes(100),
                                                           "application/octet-stream");
            if (name.startsWith("set/"))
                file.headers.append(
                    {"Set-Cookie", "c" + QByteArray::number(n) + "=1; Path=" + base});
            return file;
        }
        const QByteArray seen = n == 1 ? "first" : carried ? "yes" : "no";
        QByteArray body = "<html><body><a href=\"f/" + QByteArray::number(n) + "-" + seen
            + ".bin\">f</a>";
        if (byScript)
            body += "<script>document.cookie = 'c" + QByteArray::number(n) + "=1; path=" + base
                + "';</script>";
        else
            body += "<a href=\"set/s" + QByteArray::number(n) + ".bin\">s</a>";
        return TestHttpResponse::page(body + "</body></html>");
    });
    Job(site);
    QVERIFY(PressGo(*m_window, kRunMs));

    QStringList expected{u"1-first.bin"_s};
    for (int n = 1; n <= kPages; ++n) {
        if (n > 1)
            expected.append(u"%1-yes.bin"_s.arg(n));
        if (!byScript)
            expected.append(u"s%1.bin"_s.arg(n));
    }
    expected.sort();
    QCOMPARE(Files(), expected);
    QCOMPARE(m_prompts->shown, QStringList());
    QCOMPARE(Messages().constLast(), u"Done.  Items downloaded: %1."_s.arg(expected.size()));
    QVERIFY(m_mostOutOfSight > 0);
}

// --- A page that fails ----------------------------------------------------------------------

void TestPagesAhead::failingPageAskedInItsTurn_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("yes: on to the next page") << true;
    QTest::newRow("no: the run ends") << false;
}

void TestPagesAhead::failingPageAskedInItsTurn()
{
    QFETCH(bool, answer);

    // Page 3 answers 404 with a short body, which the browser takes for a failed load.
    m_server.addPrefixRoute(u"/fail/"_s, [](const TestHttpRequest &request) {
        if (request.path == "/fail/p3.htm")
            return TestHttpResponse::error(404);
        if (request.path.endsWith(".bin"))
            return TestHttpResponse::page(TestHttpServer::bytes(100), "application/octet-stream");
        const QByteArray n = request.path.mid(7).chopped(4);
        return TestHttpResponse::page(Page({u"/fail/%1.bin"_s.arg(QString::fromUtf8(n))}));
    });
    Job(u"/fail"_s);
    m_prompts->answers.enqueue(answer);
    QStringList before;
    m_prompts->whenAsked = [&] { before = Messages(); };
    QVERIFY(PressGo(*m_window, kRunMs));

    const QString page3 = m_server.url(u"/fail/p3.htm"_s);
    QCOMPARE(m_prompts->shown,
             QStringList{u"YesNo|Error|An error has occurred.\r\n\r\nError: 1001"
                         "\r\nDescription: The page could not be loaded: "_s
                         + page3 + u"\r\n\r\nWould you like to continue?"_s});
    QCOMPARE(before.constLast(), u"Download complete: "_s + m_out->filePath(u"2.bin"_s) + u'.');
    QStringList saved{u"1.bin"_s, u"2.bin"_s};
    if (answer)
        saved << u"4.bin"_s << u"5.bin"_s;
    QCOMPARE(Files(), saved);
    QCOMPARE(Messages().filter(u"Source code has been downloaded"_s).size(), answer ? 4 : 2);
    if (answer)
        QCOMPARE(Messages().constLast(), u"Done.  Items downloaded: 4."_s);
    else
        QCOMPARE(Messages().constLast(), before.constLast());
    QVERIFY(m_mostOutOfSight > 0);
}

// --- Stop -----------------------------------------------------------------------------------

void TestPagesAhead::stopEndsEveryLoad_data()
{
    QTest::addColumn<bool>("closeWindow"); // else Stop
    QTest::newRow("Stop") << false;
    QTest::newRow("window closed") << true;
}

void TestPagesAhead::stopEndsEveryLoad()
{
    QFETCH(bool, closeWindow);

    // Page 1's file trickles in for seconds; the pages after it never answer.
    m_server.addPrefixRoute(u"/stop/"_s, [](const TestHttpRequest &request) {
        if (request.path == "/stop/p1.htm")
            return TestHttpResponse::page(Page({u"/stop/slow.bin"_s}));
        TestHttpResponse response = TestHttpResponse::page(TestHttpServer::bytes(400),
                                                           "application/octet-stream");
        response.delivery = request.path == "/stop/slow.bin" ? TestHttpResponse::Delivery::Trickle
                                                             : TestHttpResponse::Delivery::Hang;
        response.trickleIntervalMs = 25;
        return response;
    });
    Job(u"/stop"_s);
    auto *browser = Child<WebBrowser>(*m_window, "Browser");
    ActWhen act(
        [&] {
            return m_inet->StillExecuting()
                && m_server.requestCount(u"/stop/p%1.htm"_s.arg(1 + PagesOutOfSight::kPagesAhead))
                > 0;
        },
        [&] {
            if (closeWindow)
                m_window->close();
            else
                Child<QPushButton>(*m_window, "cmdStop")->click();
        });
    QVERIFY(PressGo(*m_window, kRunMs));

    QVERIFY(act.fired);
    QCOMPARE(browser->PagesOutOfSight(), 0);
    QVERIFY(!browser->View()->page()->isLoading());
    QVERIFY(!m_inet->StillExecuting());
    QCOMPARE(Messages().constLast(), u"Action has been cancelled!"_s);
    QCOMPARE(Files(), QStringList());
}

QTEST_MAIN(TestPagesAhead)
#include "tst_pagesahead.moc"
