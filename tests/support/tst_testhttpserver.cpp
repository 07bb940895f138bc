#include "testhttpserver.h"

#include <QTcpSocket>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int WaitMs = 5000;

struct Reply
{
    int status = 0;
    QByteArray head;
    QByteArray body;
};

bool connectTo(QTcpSocket &socket, quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(WaitMs);
}

void request(QTcpSocket &socket, const QByteArray &target)
{
    socket.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    socket.flush();
}

// Reads one response with a Content-Length body; status 0 when none came in time.
Reply readReply(QTcpSocket &socket, QByteArray &buffer)
{
    Reply reply;
    QDeadlineTimer deadline(WaitMs);
    qsizetype headEnd = -1;
    qsizetype length = -1;
    while (!deadline.hasExpired()) {
        if (headEnd < 0 && (headEnd = buffer.indexOf("\r\n\r\n")) >= 0) {
            reply.head = buffer.left(headEnd);
            reply.status = reply.head.mid(9, 3).toInt();
            const qsizetype at = reply.head.toLower().indexOf("content-length:");
            length = reply.head.mid(at + 15, reply.head.indexOf('\r', at) - at - 15)
                         .trimmed()
                         .toLongLong();
        }
        if (headEnd >= 0 && buffer.size() >= headEnd + 4 + length) {
            reply.body = buffer.mid(headEnd + 4, length);
            buffer.remove(0, headEnd + 4 + length);
            return reply;
        }
        if (!socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        buffer += socket.readAll();
    }
    return {};
}

} // namespace

class tst_TestHttpServer final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void routes_data();
    void routes();
    void keepsConnectionAliveAndLogsInOrder();
    void servesOthersWhileOneHangs();
    void closesIdleAndStoppedConnections();
    void refusedAddressRefuses();

private:
    TestHttpServer m_server;
};

void tst_TestHttpServer::init()
{
    QVERIFY(m_server.start());
    m_server.clearRequestLog();
}

void tst_TestHttpServer::cleanup()
{
    m_server.stop();
}

void tst_TestHttpServer::routes_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("headerPart");

    QTest::newRow("bytes") << QByteArray("/bytes/5") << 200 << TestHttpServer::bytes(5)
                           << QByteArray("application/octet-stream");
    QTest::newRow("added page") << QByteArray("/added") << 200 << QByteArray("<p>added</p>")
                                << QByteArray("text/html");
    QTest::newRow("own route sees query")
        << QByteArray("/echo?x=7") << 200 << QByteArray("7") << QByteArray("text/plain");
    QTest::newRow("redirect") << QByteArray("/redirect/one") << 302 << QByteArray()
                              << QByteArray("Location: /redirect/target");
    QTest::newRow("loop") << QByteArray("/loop/b") << 302 << QByteArray()
                          << QByteArray("Location: /loop/a");
    QTest::newRow("status") << QByteArray("/status/500") << 500 << QByteArray("status 500\n")
                            << QByteArray("Internal Server Error");
    QTest::newRow("unknown") << QByteArray("/nowhere") << 404 << QByteArray("status 404\n")
                             << QByteArray("Not Found");
    QTest::newRow("trickle") << QByteArray("/slow?n=4&ms=10") << 200 << TestHttpServer::bytes(4)
                             << QByteArray("Content-Length: 4");
    QTest::newRow("generated, past one chunk")
        << QByteArray("/generated/200000") << 200 << TestHttpServer::bytes(200000)
        << QByteArray("Content-Length: 200000");
    QTest::newRow("generated, paced")
        << QByteArray("/generated/200000?ms=1") << 200 << TestHttpServer::bytes(200000)
        << QByteArray("Content-Length: 200000");
}

void tst_TestHttpServer::routes()
{
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, headerPart);

    m_server.addPage(u"/added"_s, "<p>added</p>");
    m_server.addRoute(u"/echo"_s, [](const TestHttpRequest &request) {
        return TestHttpResponse::page(request.queryValue("x"), "text/plain");
    });
    QTcpSocket socket;
    QVERIFY(connectTo(socket, m_server.port()));
    request(socket, target);
    QByteArray buffer;
    const Reply reply = readReply(socket, buffer);
    QCOMPARE(reply.status, status);
    QVERIFY2(reply.head.contains(headerPart), reply.head.constData());
    if (!body.isEmpty())
        QCOMPARE(reply.body, body);
}

void tst_TestHttpServer::keepsConnectionAliveAndLogsInOrder()
{
    QTcpSocket socket;
    QVERIFY(connectTo(socket, m_server.port()));
    QByteArray buffer;
    const QByteArrayList targets{"/bytes/1", "/status/404", "/bytes/2?again"};
    for (const QByteArray &target : targets) {
        request(socket, target);
        QVERIFY(readReply(socket, buffer).status != 0);
    }
    QCOMPARE(m_server.requestLog(),
             QStringList({u"/bytes/1"_s, u"/status/404"_s, u"/bytes/2?again"_s}));
    QCOMPARE(m_server.connectionCount(), 1);
    QCOMPARE(m_server.requestCount(u"/bytes/1"_s), 1);
}

void tst_TestHttpServer::servesOthersWhileOneHangs()
{
    QTcpSocket hanging;
    QVERIFY(connectTo(hanging, m_server.port()));
    request(hanging, "/hang");
    QTRY_VERIFY_WITH_TIMEOUT(m_server.requestLog().contains(u"/hang"_s), WaitMs);

    QTcpSocket other;
    QVERIFY(connectTo(other, m_server.port()));
    request(other, "/bytes/3");
    QByteArray buffer;
    QCOMPARE(readReply(other, buffer).body, TestHttpServer::bytes(3));
    QCOMPARE(hanging.bytesAvailable(), 0);
}

void tst_TestHttpServer::closesIdleAndStoppedConnections()
{
    m_server.setIdleLimit(200);
    QTcpSocket idle;
    QVERIFY(connectTo(idle, m_server.port()));
    request(idle, "/hang");
    QVERIFY(idle.state() == QAbstractSocket::UnconnectedState || idle.waitForDisconnected(WaitMs));
    m_server.setIdleLimit(30000);

    QTcpSocket hanging;
    QVERIFY(connectTo(hanging, m_server.port()));
    request(hanging, "/hang");
    QTRY_VERIFY_WITH_TIMEOUT(m_server.requestLog().contains(u"/hang"_s), WaitMs);
    m_server.stop();
    QVERIFY(hanging.state() == QAbstractSocket::UnconnectedState
            || hanging.waitForDisconnected(WaitMs));
}

void tst_TestHttpServer::refusedAddressRefuses()
{
    const QUrl address(TestHttpServer::refusedAddress());
    QVERIFY(address.port() > 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(address.port()));
    QVERIFY(!socket.waitForConnected(WaitMs));
    QCOMPARE(socket.error(), QAbstractSocket::ConnectionRefusedError);
}

QTEST_GUILESS_MAIN(tst_TestHttpServer)
#include "tst_testhttpserver.moc"
