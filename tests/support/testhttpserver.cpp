#include "testhttpserver.h"

#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <future>

namespace {

constexpr qsizetype MaxHeadSize = 64 * 1024;
constexpr int DefaultIdleLimitMs = 30000;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

QByteArray TestHttpRequest::header(const QByteArray &lowerCaseName) const
{
    for (const auto &[name, value] : headers) {
        if (name == lowerCaseName)
            return value;
    }
    return {};
}

QByteArray TestHttpRequest::queryValue(const QByteArray &key, const QByteArray &fallback) const
{
    for (const QByteArray &pair : query.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        if (equals > 0 && pair.left(equals) == key)
            return pair.mid(equals + 1);
    }
    return fallback;
}

TestHttpResponse TestHttpResponse::page(const QByteArray &body, const QByteArray &contentType)
{
    TestHttpResponse response;
    response.body = body;
    response.contentType = contentType;
    return response;
}

TestHttpResponse TestHttpResponse::redirect(const QByteArray &location, int status)
{
    TestHttpResponse response;
    response.status = status;
    response.headers.append({"Location", location});
    response.body = "Moved to " + location + '\n';
    response.contentType = "text/plain";
    return response;
}

TestHttpResponse TestHttpResponse::error(int status)
{
    TestHttpResponse response;
    response.status = status;
    response.body = "status " + QByteArray::number(status) + '\n';
    response.contentType = "text/plain";
    return response;
}

struct TestHttpServer::Shared
{
    mutable QMutex mutex;
    QHash<QByteArray, Handler> routes;
    QList<QPair<QByteArray, Handler>> prefixRoutes;
    QStringList log;
    QList<TestHttpRequest> received;
    int connections = 0;
    std::atomic<int> idleLimitMs{DefaultIdleLimitMs};
    std::atomic<int> releases{0}; // how often releaseHeld() was called

    // Notes the time the request came in, then answers it.
    TestHttpResponse respond(TestHttpRequest &request)
    {
        Handler handler;
        {
            QMutexLocker lock(&mutex);
            request.receivedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count();
            log.append(QString::fromUtf8(request.target));
            received.append(request);
            handler = routes.value(request.path);
            if (!handler) {
                qsizetype longest = -1;
                for (const auto &[prefix, candidate] : std::as_const(prefixRoutes)) {
                    if (request.path.startsWith(prefix) && prefix.size() > longest) {
                        longest = prefix.size();
                        handler = candidate;
                    }
                }
            }
        }
        return handler ? handler(request) : TestHttpResponse::error(404);
    }
};

namespace {

constexpr quint32 BytesSeed = 0x2545F491u;

// The sequence of TestHttpServer::bytes, one byte at a time.
char NextByte(quint32 &state)
{
    state = state * 1664525u + 1013904223u;
    return char(state >> 24);
}

// One client connection, living on the server's thread as a child of its socket.
class Connection final : public QObject
{
public:
    Connection(QTcpSocket *socket, std::shared_ptr<TestHttpServer::Shared> shared)
        : QObject(socket)
        , m_socket(socket)
        , m_shared(std::move(shared))
    {
        m_idle.setSingleShot(true);
        m_idle.setInterval(m_shared->idleLimitMs.load());
        connect(&m_idle, &QTimer::timeout, this, [this] { m_socket->abort(); });
        connect(&m_trickle, &QTimer::timeout, this, &Connection::trickleStep);
        m_generatePause.setSingleShot(true);
        connect(&m_generatePause, &QTimer::timeout, this, &Connection::generateStep);
        connect(&m_held, &QTimer::timeout, this, &Connection::heldStep);
        connect(m_socket, &QTcpSocket::readyRead, this, &Connection::onReadyRead);
        connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
            m_idle.start();
            generateStep();
        });
        connect(m_socket, &QTcpSocket::disconnected, m_socket, &QObject::deleteLater);
        m_idle.start();
        onReadyRead();
    }

private:
    void onReadyRead()
    {
        m_idle.start();
        m_buffer += m_socket->readAll();
        serveBuffered();
    }

    void serveBuffered()
    {
        while (!m_busy && m_socket->state() == QAbstractSocket::ConnectedState) {
            const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
            if (headEnd < 0) {
                if (m_buffer.size() > MaxHeadSize)
                    m_socket->abort();
                return;
            }
            const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
            const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
            if (requestLine.size() != 3) {
                send(TestHttpResponse::error(400), false, true);
                return;
            }
            TestHttpRequest request;
            request.method = requestLine.at(0);
            request.target = requestLine.at(1);
            const qsizetype question = request.target.indexOf('?');
            request.path = question < 0 ? request.target : request.target.left(question);
            request.query = question < 0 ? QByteArray() : request.target.mid(question + 1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines.at(i).indexOf(':');
                if (colon > 0)
                    request.headers.append({lines.at(i).left(colon).trimmed().toLower(),
                                            lines.at(i).mid(colon + 1).trimmed()});
            }
            // A request body is read and ignored.
            const qsizetype bodyLength = request.header("content-length").toLongLong();
            if (m_buffer.size() < headEnd + 4 + bodyLength)
                return;
            m_buffer.remove(0, headEnd + 4 + bodyLength);

            const QByteArray connection = request.header("connection").toLower();
            const bool close = requestLine.at(2) == "HTTP/1.0" ? connection != "keep-alive"
                                                               : connection == "close";
            send(m_shared->respond(request), request.method == "HEAD", close);
        }
    }

    void send(const TestHttpResponse &response, bool headOnly, bool close)
    {
        using Delivery = TestHttpResponse::Delivery;
        if (response.delivery == Delivery::Hang) {
            m_busy = true;
            return;
        }
        if (response.delivery == Delivery::Drop) {
            m_socket->abort();
            return;
        }
        if (response.delivery == Delivery::Held) {
            // Looked at on this thread every few milliseconds until released; the idle limit
            // still closes the connection.
            m_busy = true;
            m_heldResponse = response;
            m_heldResponse.delivery = Delivery::Whole;
            m_heldHeadOnly = headOnly;
            m_heldClose = close;
            m_heldSince = m_shared->releases.load();
            m_held.start(5);
            return;
        }
        const bool chunked = response.delivery == Delivery::ChunkedCut;
        const bool cut = response.delivery == Delivery::CutShort || chunked;
        const bool stall = response.delivery == Delivery::Stall;
        const bool unannounced = response.delivery == Delivery::Unannounced;
        m_close = close || cut || unannounced;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
            + (response.reason.isEmpty() ? reasonPhrase(response.status) : response.reason)
            + "\r\n";
        head += "Content-Type: " + response.contentType + "\r\n";
        const bool generated = response.delivery == Delivery::Generated;
        if (chunked)
            head += "Transfer-Encoding: chunked\r\n";
        else if (!unannounced)
            head += "Content-Length: "
                + QByteArray::number(cut || generated || stall ? response.announcedLength
                                                               : response.body.size())
                + "\r\n";
        for (const auto &[name, value] : response.headers)
            head += name + ": " + value + "\r\n";
        head += m_close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";

        if (generated && !headOnly) {
            m_socket->write(head);
            m_busy = true;
            m_generateLeft = response.announcedLength;
            m_generator = BytesSeed;
            m_generatePauseMs = response.generatedPauseMs;
            generateStep();
            return;
        }
        if (stall) {
            // Like a server that stopped sending: the client is left waiting for the rest.
            m_socket->write(headOnly ? head : head + response.body);
            m_busy = true;
            return;
        }
        if (chunked && !headOnly) {
            // Every chunk sent is whole; only the missing last one shows the body is cut.
            QByteArray body;
            const qsizetype size = qMax(1, response.trickleChunk);
            for (qsizetype at = 0; at < response.body.size(); at += size) {
                const QByteArray chunk = response.body.mid(at, size);
                body += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
            }
            m_socket->write(head + body);
            m_socket->disconnectFromHost();
            return;
        }
        if (response.delivery == Delivery::Trickle && !headOnly) {
            m_socket->write(head);
            m_busy = true;
            m_pending = response.body;
            m_chunk = qMax(1, response.trickleChunk);
            m_trickle.start(qMax(1, response.trickleIntervalMs));
            return;
        }
        m_socket->write(headOnly ? head : head + response.body);
        if (m_close)
            m_socket->disconnectFromHost();
    }

    // Keeps about a megabyte queued on the socket until the generated body is all out, or
    // with a pause, one chunk per pause.
    void generateStep()
    {
        if (m_generateLeft <= 0 || !m_busy || m_generatePause.isActive())
            return;
        static constexpr qint64 Queue = 1 << 20, Chunk = 1 << 16;
        const auto writeChunk = [this] {
            QByteArray chunk(qMin(Chunk, m_generateLeft), Qt::Uninitialized);
            for (char &byte : chunk)
                byte = NextByte(m_generator);
            m_socket->write(chunk);
            m_generateLeft -= chunk.size();
        };
        if (m_generatePauseMs > 0)
            writeChunk();
        while (m_generatePauseMs == 0 && m_generateLeft > 0 && m_socket->bytesToWrite() < Queue)
            writeChunk();
        if (m_generateLeft > 0) {
            if (m_generatePauseMs > 0)
                m_generatePause.start(m_generatePauseMs);
            return;
        }
        m_busy = false;
        if (m_close) {
            m_socket->disconnectFromHost();
            return;
        }
        serveBuffered();
    }

    void heldStep()
    {
        if (m_shared->releases.load() == m_heldSince)
            return;
        m_held.stop();
        m_busy = false;
        send(m_heldResponse, m_heldHeadOnly, m_heldClose);
        serveBuffered();
    }

    void trickleStep()
    {
        m_idle.start();
        m_socket->write(m_pending.left(m_chunk));
        m_pending.remove(0, qMin(m_chunk, m_pending.size()));
        if (!m_pending.isEmpty())
            return;
        m_trickle.stop();
        m_busy = false;
        if (m_close) {
            m_socket->disconnectFromHost();
            return;
        }
        serveBuffered();
    }

    QTcpSocket *m_socket;
    std::shared_ptr<TestHttpServer::Shared> m_shared;
    QByteArray m_buffer;
    QTimer m_idle;
    QTimer m_trickle;
    QTimer m_generatePause;
    QTimer m_held;
    TestHttpResponse m_heldResponse;
    bool m_heldHeadOnly = false;
    bool m_heldClose = false;
    int m_heldSince = 0;
    int m_generatePauseMs = 0;
    QByteArray m_pending;
    qsizetype m_chunk = 1;
    qint64 m_generateLeft = 0;
    quint32 m_generator = 0;
    bool m_busy = false;
    bool m_close = false;
};

} // namespace

class TestHttpServer::ServerThread final : public QThread
{
public:
    explicit ServerThread(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

    std::future<quint16> ready() { return m_ready.get_future(); }

protected:
    void run() override
    {
        // Everything of the server is made, used and destroyed on this thread.
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            m_ready.set_value(0);
            return;
        }
        connect(&server, &QTcpServer::newConnection, &server, [&server, this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                {
                    QMutexLocker lock(&m_shared->mutex);
                    ++m_shared->connections;
                }
                new Connection(socket, m_shared);
            }
        });
        m_ready.set_value(server.serverPort());
        exec();
    }

private:
    std::shared_ptr<Shared> m_shared;
    std::promise<quint16> m_ready;
};

TestHttpServer::TestHttpServer() : m_shared(std::make_shared<Shared>())
{
    addPrefixRoute(QStringLiteral("/bytes/"), [](const TestHttpRequest &request) {
        bool ok = false;
        const qsizetype size = request.path.mid(7).toLongLong(&ok);
        if (!ok || size < 0)
            return TestHttpResponse::error(404);
        return TestHttpResponse::page(bytes(size), "application/octet-stream");
    });
    addPrefixRoute(QStringLiteral("/status/"), [](const TestHttpRequest &request) {
        bool ok = false;
        const int status = request.path.mid(8).toInt(&ok);
        return TestHttpResponse::error(ok && status >= 200 && status <= 599 ? status : 404);
    });
    addRedirect(QStringLiteral("/redirect/one"), QStringLiteral("/redirect/target"));
    addPage(QStringLiteral("/redirect/target"),
            "<html><head><title>Redirect target</title></head><body><p>Redirect "
            "target</p></body></html>");
    addRedirect(QStringLiteral("/loop/a"), QStringLiteral("/loop/b"));
    addRedirect(QStringLiteral("/loop/b"), QStringLiteral("/loop/a"));
    addRoute(QStringLiteral("/hang"), [](const TestHttpRequest &) {
        TestHttpResponse response;
        response.delivery = TestHttpResponse::Delivery::Hang;
        return response;
    });
    addRoute(QStringLiteral("/slow"), [](const TestHttpRequest &request) {
        TestHttpResponse response = TestHttpResponse::page(
            bytes(request.queryValue("n", "30").toLongLong()), "application/octet-stream");
        response.delivery = TestHttpResponse::Delivery::Trickle;
        response.trickleIntervalMs = request.queryValue("ms", "100").toInt();
        return response;
    });
    addPrefixRoute(QStringLiteral("/generated/"), [](const TestHttpRequest &request) {
        bool ok = false;
        TestHttpResponse response = TestHttpResponse::page({}, "application/octet-stream");
        response.announcedLength = request.path.mid(11).toLongLong(&ok);
        if (!ok || response.announcedLength < 0)
            return TestHttpResponse::error(404);
        response.delivery = TestHttpResponse::Delivery::Generated;
        response.generatedPauseMs = request.queryValue("ms", "0").toInt();
        return response;
    });
    // The first CutSent bytes of bytes(CutAnnounced), and never the rest.
    const auto cutShort = [](TestHttpResponse::Delivery delivery) {
        return [delivery](const TestHttpRequest &) {
            TestHttpResponse response = TestHttpResponse::page(bytes(CutAnnounced).left(CutSent),
                                                               "application/octet-stream");
            response.delivery = delivery;
            response.announcedLength = CutAnnounced;
            response.trickleChunk = 10;
            return response;
        };
    };
    addRoute(QStringLiteral("/cut"), cutShort(TestHttpResponse::Delivery::CutShort));
    addRoute(QStringLiteral("/stall"), cutShort(TestHttpResponse::Delivery::Stall));
    addRoute(QStringLiteral("/chunked-cut"), cutShort(TestHttpResponse::Delivery::ChunkedCut));
    // PREFIX + N: N bytes of bytes(N), delivered so.
    const auto sized = [this](const QString &prefix, TestHttpResponse::Delivery delivery) {
        addPrefixRoute(prefix, [at = prefix.size(), delivery](const TestHttpRequest &request) {
            bool ok = false;
            const qsizetype size = request.path.mid(at).toLongLong(&ok);
            if (!ok || size < 0)
                return TestHttpResponse::error(404);
            TestHttpResponse response = TestHttpResponse::page(bytes(size),
                                                               "application/octet-stream");
            response.delivery = delivery;
            return response;
        });
    };
    sized(QStringLiteral("/held/"), TestHttpResponse::Delivery::Held);
    sized(QStringLiteral("/unannounced/"), TestHttpResponse::Delivery::Unannounced);
    addPage(QStringLiteral("/script-links"),
            scriptLinksPage({QStringLiteral("/linked/1"), QStringLiteral("/linked/2"),
                             QStringLiteral("/linked/3")}));
}

TestHttpServer::~TestHttpServer()
{
    stop();
}

bool TestHttpServer::start()
{
    if (m_thread)
        return true;
    {
        QMutexLocker lock(&m_shared->mutex);
        m_shared->log.clear();
        m_shared->received.clear();
        m_shared->connections = 0;
    }
    m_thread = std::make_unique<ServerThread>(m_shared);
    std::future<quint16> ready = m_thread->ready();
    m_thread->start();
    m_port = ready.get();
    if (m_port == 0) {
        m_thread->wait();
        m_thread.reset();
        return false;
    }
    return true;
}

void TestHttpServer::stop()
{
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    m_thread.reset();
    m_port = 0;
}

bool TestHttpServer::isRunning() const
{
    return m_thread != nullptr;
}

quint16 TestHttpServer::port() const
{
    return m_port;
}

QUrl TestHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

QString TestHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

QString TestHttpServer::url(const QString &path, const QString &host) const
{
    return QStringLiteral("http://%1:%2%3").arg(host).arg(m_port).arg(path);
}

void TestHttpServer::addPage(const QString &path, const QByteArray &body,
                             const QByteArray &contentType)
{
    addRoute(path, [body, contentType](const TestHttpRequest &) {
        return TestHttpResponse::page(body, contentType);
    });
}

void TestHttpServer::addRedirect(const QString &path, const QString &location, int status)
{
    const QByteArray target = location.toUtf8();
    addRoute(path, [target, status](const TestHttpRequest &) {
        return TestHttpResponse::redirect(target, status);
    });
}

void TestHttpServer::addRoute(const QString &path, Handler handler)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->routes.insert(path.toUtf8(), std::move(handler));
}

void TestHttpServer::addPrefixRoute(const QString &prefix, Handler handler)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->prefixRoutes.append({prefix.toUtf8(), std::move(handler)});
}

QStringList TestHttpServer::requestLog() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->log;
}

int TestHttpServer::requestCount(const QString &target) const
{
    QMutexLocker lock(&m_shared->mutex);
    return int(m_shared->log.count(target));
}

QList<TestHttpRequest> TestHttpServer::requests() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->received;
}

void TestHttpServer::clearRequestLog()
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->log.clear();
    m_shared->received.clear();
}

int TestHttpServer::connectionCount() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->connections;
}

void TestHttpServer::setIdleLimit(int milliseconds)
{
    m_shared->idleLimitMs = qMax(1, milliseconds);
}

void TestHttpServer::releaseHeld()
{
    ++m_shared->releases;
}

QString TestHttpServer::refusedAddress()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return {};
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1/").arg(port);
}

QByteArray TestHttpServer::bytes(qsizetype n)
{
    QByteArray result(n, Qt::Uninitialized);
    quint32 state = BytesSeed;
    for (char &byte : result)
        byte = NextByte(state);
    return result;
}

QByteArray TestHttpServer::scriptLinksPage(const QStringList &links, int delayMs)
{
    const QByteArray list =
        QJsonDocument(QJsonArray::fromStringList(links)).toJson(QJsonDocument::Compact);
    // The attribute name is assembled in the script so that the markup as served holds no link.
    return "<html><head><title>Script links</title></head><body><div id=\"links\"></div>\n"
           "<script>\n"
           "function addLinks() {\n"
           "  var box = document.getElementById('links');\n"
           "  var links = "
        + list
        + ";\n"
          "  for (var i = 0; i < links.length; ++i) {\n"
          "    var a = document.createElement('a');\n"
          "    a.setAttribute('hr' + 'ef', links[i]);\n"
          "    a.textContent = 'link ' + (i + 1);\n"
          "    box.appendChild(a);\n"
          "  }\n"
          "}\n"
          "window.addEventListener('load', function () { "
        + (delayMs > 0 ? "setTimeout(addLinks, " + QByteArray::number(delayMs) + ");"
                       : QByteArray("addLinks();"))
        + " });\n"
          "</script></body></html>\n";
}
