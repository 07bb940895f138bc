#include "curljob.h"
#include "curltransfer.h"
#include "testhttpserver.h"

#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <curl/curl.h>

using namespace Qt::StringLiterals;

class tst_CurlTransfer final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void contentIsServedBytes_data();
    void contentIsServedBytes();
    void redirectIsFollowed();
    void failures_data();
    void failures();
    void stallEndsAtTimeout();
    void steadySlowDownloadOutlivesTimeout();
    void cancelEndsTransfer_data();
    void cancelEndsTransfer();
    void cancelWhileIdleDoesNotSpoilNextTransfer();
    void eventLoopRunsDuringTransfer();
    void secondCallDuringTransferIsRefused();
    void deletingDuringTransferEndsIt();
    void requestTimeout_data();
    void requestTimeout();
    void transfersIntoFiles_data();
    void transfersIntoFiles();
    void cancelEndsEveryTransfer();
    void retryAfterValue_data();
    void retryAfterValue();
    void cancelEndsWaitForAHeldHost();
    void identity_data();
    void identity();
    void cookies_data();
    void cookies();
    void answersCookiesAreKeptAndHandedOn();

private:
    TestHttpServer m_server;
};

void tst_CurlTransfer::initTestCase()
{
    // The fixture is on loopback; a proxy from the environment must not come between.
    for (const char *name :
         {"http_proxy", "https_proxy", "HTTPS_PROXY", "ftp_proxy", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    // A chain /chain/N redirects N times before it reaches a page.
    m_server.addPrefixRoute(QStringLiteral("/chain/"), [](const TestHttpRequest &request) {
        const int left = request.path.mid(7).toInt();
        return left > 0 ? TestHttpResponse::redirect("/chain/" + QByteArray::number(left - 1))
                        : TestHttpResponse::page("end of chain", "text/plain");
    });
    m_server.addRedirect(QStringLiteral("/to-file"), QStringLiteral("file:///etc/hostname"));
    m_server.addPage(QStringLiteral("/with%20space"), "spaced", "text/plain");
}

void tst_CurlTransfer::init()
{
    QVERIFY(m_server.start());
    m_server.clearRequestLog();
}

void tst_CurlTransfer::cleanup()
{
    m_server.stop();
}

void tst_CurlTransfer::contentIsServedBytes_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("one byte") << 1;
    QTest::newRow("two bytes") << 2;
    QTest::newRow("three bytes") << 3;
    QTest::newRow("four megabytes and a bit") << 4 * 1024 * 1024 + 7;
}

void tst_CurlTransfer::contentIsServedBytes()
{
    QFETCH(int, size);
    CurlTransfer transfer;
    const Transfer::Result result = transfer.OpenURL(
        {m_server.url(QStringLiteral("/bytes/%1").arg(size))});
    QVERIFY2(result.ok, qPrintable(result.description));
    QCOMPARE(result.content.size(), size);
    QVERIFY(result.content == TestHttpServer::bytes(size));

    // The same object again, with a Cancel while idle in between: the connection is
    // reused and the stale Cancel does not end the next transfer.
    transfer.Cancel();
    const Transfer::Result again = transfer.OpenURL(
        {m_server.url(QStringLiteral("/bytes/%1").arg(size))});
    QVERIFY2(again.ok, qPrintable(again.description));
    QVERIFY(again.content == result.content);
    QCOMPARE(m_server.connectionCount(), 1);
}

void tst_CurlTransfer::redirectIsFollowed()
{
    CurlTransfer transfer;
    const Transfer::Result result = transfer.OpenURL(
        {m_server.url(QStringLiteral("/redirect/one"))});
    QVERIFY2(result.ok, qPrintable(result.description));
    QVERIFY(result.content.contains("Redirect target"));
    QCOMPARE(m_server.requestLog(),
             QStringList({QStringLiteral("/redirect/one"), QStringLiteral("/redirect/target")}));

    const Transfer::Result tenHops = transfer.OpenURL({m_server.url(QStringLiteral("/chain/10"))});
    QVERIFY2(tenHops.ok, qPrintable(tenHops.description));
    QCOMPARE(tenHops.content, QByteArray("end of chain"));

    const Transfer::Result spaced = transfer.OpenURL({m_server.url(QStringLiteral("/with space"))});
    QVERIFY2(spaced.ok, qPrintable(spaced.description));
    QCOMPARE(spaced.content, QByteArray("spaced"));
}

void tst_CurlTransfer::failures_data()
{
    QTest::addColumn<QString>("address"); // a path on the fixture, or a whole address
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("description"); // the start of it

    QTest::newRow("not found") << u"/status/404"_s << 404 << u"HTTP 404 Not Found"_s;
    QTest::newRow("server error") << u"/status/500"_s << 500 << u"HTTP 500 Internal Server Error"_s;
    QTest::newRow("redirect loop") << u"/loop/a"_s << int(CURLE_TOO_MANY_REDIRECTS) << QString();
    QTest::newRow("eleven redirects")
        << u"/chain/11"_s << int(CURLE_TOO_MANY_REDIRECTS) << QString();
    QTest::newRow("body cut short") << u"/cut"_s << int(CURLE_PARTIAL_FILE) << QString();
    QTest::newRow("refused port") << TestHttpServer::refusedAddress() << int(CURLE_COULDNT_CONNECT)
                                  << QString();
    QTest::newRow("file address") << u"file:///etc/hostname"_s << int(CURLE_UNSUPPORTED_PROTOCOL)
                                  << QString();
    QTest::newRow("redirect to a file")
        << u"/to-file"_s << int(CURLE_UNSUPPORTED_PROTOCOL) << QString();
    QTest::newRow("other protocol")
        << u"dict://127.0.0.1/x"_s << int(CURLE_UNSUPPORTED_PROTOCOL) << QString();
    QTest::newRow("empty address") << QString() << int(CURLE_URL_MALFORMAT) << QString();
}

void tst_CurlTransfer::failures()
{
    QFETCH(QString, address);
    QFETCH(int, code);
    QFETCH(QString, description);
    if (address.startsWith(u'/'))
        address = m_server.url(address);

    CurlTransfer transfer;
    const Transfer::Result result = transfer.OpenURL({address});
    QVERIFY(!result.ok);
    QVERIFY(result.content.isEmpty());
    QCOMPARE(result.code, code);
    QVERIFY(!result.description.isEmpty());
    QVERIFY2(result.description.startsWith(description), qPrintable(result.description));
    QVERIFY(!transfer.StillExecuting());
}

void tst_CurlTransfer::stallEndsAtTimeout()
{
    CurlTransfer transfer;
    transfer.SetRequestTimeout(2);
    const Transfer::Result result = transfer.OpenURL({m_server.url(QStringLiteral("/hang"))});
    QVERIFY(!result.ok);
    QCOMPARE(result.code, int(CURLE_OPERATION_TIMEDOUT));
}

void tst_CurlTransfer::steadySlowDownloadOutlivesTimeout()
{
    // About two and a half seconds of a trickle: longer than the time-out, never stalled.
    CurlTransfer transfer;
    transfer.SetRequestTimeout(1);
    const Transfer::Result result = transfer.OpenURL(
        {m_server.url(QStringLiteral("/slow?n=25&ms=100"))});
    QVERIFY2(result.ok, qPrintable(result.description));
    QVERIFY(result.content == TestHttpServer::bytes(25));
}

void tst_CurlTransfer::cancelEndsTransfer_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("no answer") << u"/hang"_s;
    QTest::newRow("trickle") << u"/slow?n=1000&ms=100"_s;
}

void tst_CurlTransfer::cancelEndsTransfer()
{
    QFETCH(QString, path);
    CurlTransfer transfer;
    bool executingAtCancel = false;
    QTimer::singleShot(300, this, [&] {
        executingAtCancel = transfer.StillExecuting();
        transfer.Cancel();
    });
    const Transfer::Result result = transfer.OpenURL({m_server.url(path)});
    QVERIFY(executingAtCancel);
    QVERIFY(!result.ok);
    QCOMPARE(result.code, CurlTransfer::CancelledCode);
    QCOMPARE(result.description, u"Cancelled"_s);
    QVERIFY(!transfer.StillExecuting());

    const Transfer::Result next = transfer.OpenURL({m_server.url(QStringLiteral("/bytes/3"))});
    QVERIFY2(next.ok, qPrintable(next.description));
    QVERIFY(next.content == TestHttpServer::bytes(3));
}

void tst_CurlTransfer::cancelWhileIdleDoesNotSpoilNextTransfer()
{
    CurlTransfer transfer;
    transfer.Cancel();
    QVERIFY(!transfer.StillExecuting());
    const Transfer::Result result = transfer.OpenURL(
        {m_server.url(QStringLiteral("/slow?n=3&ms=50"))});
    QVERIFY2(result.ok, qPrintable(result.description));
}

void tst_CurlTransfer::eventLoopRunsDuringTransfer()
{
    CurlTransfer transfer;
    int ticks = 0;
    int ticksWhileExecuting = 0;
    QTimer timer;
    timer.setInterval(20);
    connect(&timer, &QTimer::timeout, this, [&] {
        ++ticks;
        if (transfer.StillExecuting())
            ++ticksWhileExecuting;
    });
    timer.start();
    QVERIFY(!transfer.StillExecuting());
    const Transfer::Result result = transfer.OpenURL(
        {m_server.url(QStringLiteral("/slow?n=10&ms=100"))});
    const int ticksDuring = ticks;
    QVERIFY2(result.ok, qPrintable(result.description));
    QVERIFY(ticksDuring > 0);
    QCOMPARE(ticksWhileExecuting, ticksDuring);
    QVERIFY(!transfer.StillExecuting());
}

void tst_CurlTransfer::secondCallDuringTransferIsRefused()
{
    CurlTransfer transfer;
    Transfer::Result inner;
    QTimer::singleShot(
        100, this, [&] { inner = transfer.OpenURL({m_server.url(QStringLiteral("/bytes/3"))}); });
    const Transfer::Result outer = transfer.OpenURL(
        {m_server.url(QStringLiteral("/slow?n=8&ms=100"))});
    QVERIFY(!inner.ok);
    QCOMPARE(inner.code, CurlTransfer::BusyCode);
    QVERIFY2(outer.ok, qPrintable(outer.description));
    QVERIFY(outer.content == TestHttpServer::bytes(8));
    QVERIFY(!m_server.requestLog().contains(u"/bytes/3"_s));
}

void tst_CurlTransfer::deletingDuringTransferEndsIt()
{
    // A window closed from a handler may destroy the component while OpenURL still waits.
    auto *transfer = new CurlTransfer;
    QTimer::singleShot(200, this, [&transfer] {
        delete transfer;
        transfer = nullptr;
    });
    const Transfer::Result result = transfer->OpenURL({m_server.url(QStringLiteral("/hang"))});
    QVERIFY(transfer == nullptr);
    QVERIFY(!result.ok);
    QCOMPARE(result.code, CurlTransfer::CancelledCode);
}

void tst_CurlTransfer::requestTimeout_data()
{
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("expected");
    QTest::newRow("ordinary") << 5 << 5;
    QTest::newRow("zero would wait for ever") << 0 << 1;
    QTest::newRow("negative") << -3 << 1;
}

void tst_CurlTransfer::requestTimeout()
{
    QFETCH(int, set);
    QFETCH(int, expected);
    CurlTransfer transfer;
    QCOMPARE(transfer.RequestTimeout(), CurlTransfer::DefaultTimeout);
    transfer.SetRequestTimeout(set);
    QCOMPARE(transfer.RequestTimeout(), expected);
}

void tst_CurlTransfer::transfersIntoFiles_data()
{
    // Several transfers at once, each into its own file, handed over in any order.
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("target"); // the file for every transfer; empty: a fresh one each
    QTest::addColumn<QList<QByteArray>>("bodies"); // null: failed as not written
    const auto bytes = &TestHttpServer::bytes;
    QTest::newRow("more than run at once, redirects, mixed sizes")
        << QStringList{u"/bytes/0"_s, u"/bytes/3"_s, u"/slow?n=5&ms=40"_s, u"/bytes/70000"_s,
                       u"/chain/2"_s, u"/bytes/1"_s, u"/slow?n=3&ms=60"_s, u"/bytes/2000000"_s}
        << QString() << QList<QByteArray>{bytes(0),       bytes(3), bytes(5), bytes(70000),
                                          "end of chain", bytes(1), bytes(3), bytes(2000000)};
    QTest::newRow("a disk that is full") << QStringList{u"/bytes/70000"_s, u"/bytes/0"_s}
                                         << u"/dev/full"_s << QList<QByteArray>{{}, ""};
}

void tst_CurlTransfer::transfersIntoFiles()
{
    QFETCH(QStringList, paths);
    QFETCH(QString, target);
    QFETCH(QList<QByteArray>, bodies);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    CurlTransfer transfer;
    QList<Transfer::Ticket> tickets;
    QStringList files;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        QString file = target.isEmpty() ? folder.filePath(QString::number(i)) : target;
        if (target.isEmpty()) {
            QFile stale(file);
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write("stale bytes that must go");
        }
        files.append(file);
        tickets.append(transfer.Start({m_server.url(paths.at(i)), file}));
    }
    // The last first: the others go on meanwhile.
    for (qsizetype i = paths.size() - 1; i >= 0; --i) {
        const Transfer::Result result = transfer.Finish(tickets.at(i));
        QVERIFY(result.content.isEmpty());
        if (bodies.at(i).isNull()) {
            QVERIFY(!result.ok);
            QVERIFY(result.fileError);
            QVERIFY2(result.description.contains(u"space"_s), qPrintable(result.description));
            continue;
        }
        QVERIFY2(result.ok, qPrintable(paths.at(i) + u": "_s + result.description));
        QCOMPARE(result.size, bodies.at(i).size());
        if (target.isEmpty()) {
            QFile written(files.at(i));
            QVERIFY(written.open(QIODevice::ReadOnly));
            QVERIFY(written.readAll() == bodies.at(i));
        }
    }
    QVERIFY(!transfer.StillExecuting());
}

void tst_CurlTransfer::cancelEndsEveryTransfer()
{
    CurlTransfer transfer;
    QList<Transfer::Ticket> tickets;
    for (const char *path : {"/hang", "/slow?n=1000&ms=50", "/hang", "/slow?n=1000&ms=50", "/hang"})
        tickets.append(transfer.Start({m_server.url(QString::fromLatin1(path)), QString()}));
    transfer.Discard(tickets.takeLast());
    QTimer::singleShot(300, this, [&transfer] { transfer.Cancel(); });
    for (const Transfer::Ticket ticket : tickets) {
        const Transfer::Result result = transfer.Finish(ticket);
        QCOMPARE(result.code, CurlTransfer::CancelledCode);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!transfer.StillExecuting(), 2000);
    const Transfer::Result next = transfer.OpenURL({m_server.url(QStringLiteral("/bytes/3"))});
    QVERIFY2(next.ok, qPrintable(next.description));
}

void tst_CurlTransfer::retryAfterValue_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<qint64>("ms"); // -1: none
    QTest::newRow("seconds") << QByteArray(" 2 ") << 2000LL;
    QTest::newRow("an HTTP date 6 s ahead")
        << QByteArray("Thu, 01 Jan 1970 00:00:10 GMT") << 6000LL;
    QTest::newRow("the asctime form") << QByteArray("Thu Jan  1 00:00:10 1970") << 6000LL;
    QTest::newRow("a date gone by") << QByteArray("Thu, 01 Jan 1970 00:00:01 GMT") << 0LL;
    QTest::newRow("beyond a day is a day") << QByteArray("99999999999999999999") << 86400000LL;
    QTest::newRow("neither") << QByteArray("soon") << -1LL;
    QTest::newRow("a negative number") << QByteArray("-5") << -1LL;
}

void tst_CurlTransfer::retryAfterValue()
{
    QFETCH(QByteArray, value);
    QFETCH(qint64, ms);
    const auto wait = curltransfer::RetryAfter(value, 4000);
    QCOMPARE(wait ? wait->count() : -1LL, ms);
}

// Regression: a transfer waiting for its host's Retry-After must not outlast Cancel.
void tst_CurlTransfer::cancelEndsWaitForAHeldHost()
{
    m_server.addRoute(u"/busy"_s, [](const TestHttpRequest &) {
        TestHttpResponse response = TestHttpResponse::error(503);
        response.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("3600")));
        return response;
    });
    CurlTransfer transfer;
    transfer.SetPoliteness({0, 2});
    const Transfer::Ticket ticket = transfer.Start({m_server.url(u"/busy"_s), QString()});
    QTimer::singleShot(0, this, [&] {
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestCount(u"/busy"_s), 1, 5000);
        // The host is held: a page to it would have to wait too.
        QVERIFY(transfer.Hosts().TakeTurn(m_server.url(u"/other"_s)) > 3000000);
        transfer.Cancel();
    });
    QCOMPARE(transfer.Finish(ticket).code, CurlTransfer::CancelledCode);
    QCOMPARE(m_server.requestCount(u"/busy"_s), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!transfer.StillExecuting(), 2000);
}

void tst_CurlTransfer::identity_data()
{
    QTest::addColumn<QByteArray>("userAgent"); // null: never set
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QString>("referrer");        // a path on the server; empty: none
    QTest::addColumn<QByteArrayList>("expected"); // user-agent, accept-language, referer
    QTest::newRow("never set") << QByteArray() << QByteArray() << QString()
                               << QByteArrayList{"Linkhauler/1.0", "", ""};
    QTest::newRow("the browser's") << QByteArray("Mozilla/5.0 (X11; Linux x86_64) Test/1.0")
                                   << QByteArray("de-DE,de;q=0.9") << u"/page.htm?a=1#top"_s
                                   << QByteArrayList{"Mozilla/5.0 (X11; Linux x86_64) Test/1.0",
                                                     "de-DE,de;q=0.9", "%1/page.htm?a=1"};
    QTest::newRow("line breaks never start a header")
        << QByteArray("Agent\r\nX-Injected: 1") << QByteArray("en\nX-Injected: 2") << QString()
        << QByteArrayList{"Agent  X-Injected: 1", "en X-Injected: 2", ""};
}

void tst_CurlTransfer::identity()
{
    QFETCH(QByteArray, userAgent);
    QFETCH(QByteArray, language);
    QFETCH(QString, referrer);
    QFETCH(QByteArrayList, expected);
    CurlTransfer transfer;
    if (!userAgent.isNull())
        transfer.SetIdentity(userAgent, language);
    // Applies to what starts after, and to every transfer of a redirect chain.
    QVERIFY(transfer
                .OpenURL({.address = m_server.url(u"/chain/1"_s),
                          .referrer = referrer.isEmpty() ? QString() : m_server.url(referrer)})
                .ok);
    const QList<TestHttpRequest> requests = m_server.requests();
    QCOMPARE(requests.size(), 2);
    for (const TestHttpRequest &request : requests) {
        QCOMPARE(request.header("user-agent"), expected.at(0));
        QCOMPARE(request.header("accept-language"), expected.at(1));
        QCOMPARE(request.header("referer"),
                 QByteArray(expected.at(2)).replace("%1", m_server.url(QString()).toUtf8()));
        QCOMPARE(request.header("x-injected"), QByteArray());
    }
}

void tst_CurlTransfer::cookies_data()
{
    QTest::addColumn<QByteArrayList>("lines"); // %h: the server's host
    QTest::addColumn<QByteArray>("sent");      // the Cookie header of a request for /files/x
    QTest::newRow("none") << QByteArrayList() << QByteArray();
    QTest::newRow("host, path and HttpOnly match")
        << QByteArrayList{"%h\tFALSE\t/\tFALSE\t0\ta\t1",
                          "#HttpOnly_%h\tFALSE\t/files\tFALSE\t0\tb\t2"}
        << QByteArray("b=2; a=1");
    QTest::newRow("another path, another host, expired") << QByteArrayList{
        "%h\tFALSE\t/private\tFALSE\t0\tp\t1", "example.invalid\tFALSE\t/\tFALSE\t0\th\t1",
        "%h\tFALSE\t/\tFALSE\t1000000000\told\t1"} << QByteArray();
    QTest::newRow("replaced, then removed by an expiry in the past")
        << QByteArrayList{"%h\tFALSE\t/\tFALSE\t0\tkeep\t1", "%h\tFALSE\t/\tFALSE\t0\tgone\t1",
                          "%h\tFALSE\t/\tFALSE\t0\tkeep\t2", "%h\tFALSE\t/\tFALSE\t1\tgone\t1"}
        << QByteArray("keep=2");
}

void tst_CurlTransfer::cookies()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArray, sent);
    CurlTransfer transfer;
    for (const QByteArray &line : lines)
        transfer.SetCookie(QByteArray(line).replace("%h", m_server.baseUrl().host().toUtf8()));
    transfer.OpenURL({m_server.url(u"/files/x"_s)});
    QCOMPARE(m_server.requests().constLast().header("cookie"), sent);
}

void tst_CurlTransfer::answersCookiesAreKeptAndHandedOn()
{
    m_server.addRoute(u"/login"_s, [](const TestHttpRequest &) {
        TestHttpResponse response = TestHttpResponse::redirect("/files/in");
        response.headers.append(
            qMakePair(QByteArray("Set-Cookie"), QByteArray("session=abc; Path=/; HttpOnly")));
        return response;
    });
    CurlTransfer transfer;
    QList<QPair<QByteArray, QString>> handed;
    transfer.OnCookieReceived([&handed](const QByteArray &value, const QString &address) {
        handed.append({value, address});
    });
    transfer.OpenURL({m_server.url(u"/login"_s)});
    QTRY_COMPARE(handed.size(), 1);
    QCOMPARE(handed.constFirst().first, QByteArray("session=abc; Path=/; HttpOnly"));
    QCOMPARE(handed.constFirst().second, m_server.url(u"/login"_s));
    // The redirect's own request and every later transfer send it.
    QCOMPARE(m_server.requests().constLast().header("cookie"), QByteArray("session=abc"));
    transfer.OpenURL({m_server.url(u"/files/y"_s)});
    QCOMPARE(m_server.requests().constLast().header("cookie"), QByteArray("session=abc"));
}

QTEST_GUILESS_MAIN(tst_CurlTransfer)
#include "tst_curltransfer.moc"
