// Serves a site of numbered pages (/page/<n>.htm), each linking to files of a fixed size
// (files/<n>_<k>.bin beside it), on 127.0.0.1 until stdin closes. Prints the base address
// on the first line of stdout.
//   bench_site [--page-delay-ms N] [--file-delay-ms N] [--limit-every N] [--retry-after S]
//              [--drop-every N] [--second-host NAME] <pages> <links per page> <file bytes>
// A delay holds back each whole answer that long after its request, as a distant site
// would; answers on other connections go on meanwhile. Connections are kept alive.
// --limit-every N answers every Nth file request with 429 and, given --retry-after, that
// Retry-After; --drop-every N closes the connection of every Nth file request unanswered, as
// a site that rate-limits or drops connections would. --second-host links the first file of a
// page under that name of this address (such as localhost), another host to a client; being
// absolute, its link is saved under the page's number.
// /stats answers "requests <r> connections <c>", counting neither itself nor its connection.

#include <QByteArray>
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

constexpr qsizetype kMaxHeadBytes = 64 * 1024;

struct Site
{
    int links = 25;
    QByteArray file;
    int pageDelayMs = 0;
    int fileDelayMs = 0;
    int limitEvery = 0;
    QByteArray retryAfter;
    int dropEvery = 0;
    QByteArray secondHost; // with the port: "localhost:<port>"
    qint64 fileRequests = 0;
    qint64 requests = 0;
    qint64 connections = 0;
};

struct Answer
{
    QByteArray status = "200 OK";
    QByteArray type = "text/html; charset=utf-8";
    QByteArray body;
    QByteArray headers; // each ended by CR LF
    int delayMs = 0;
    bool drop = false;
};

QByteArray PageBody(const QByteArray &number, int links, const QByteArray &secondHost)
{
    QByteArray body = "<html><head><title>Page " + number
        + "</title></head><body>\n"
          "<h1>Files of page "
        + number + "</h1><ul>\n";
    for (int k = 1; k <= links; ++k) {
        const QByteArray name = number + '_' + QByteArray::number(k) + ".bin";
        const QByteArray where = !secondHost.isEmpty() && k == 1
            ? "http://" + secondHost + "/page/files/"
            : QByteArray("files/");
        body += "<li><a href=\"" + where + name + "\">" + name + "</a> some text</li>\n";
    }
    body += "</ul><p><a href=\"/page/index.htm\">index</a></p></body></html>\n";
    return body;
}

Answer Route(const QByteArray &path, Site &site)
{
    Answer answer;
    if (path == "/stats") {
        answer.type = "text/plain";
        answer.body = "requests " + QByteArray::number(site.requests) + " connections "
            + QByteArray::number(site.connections) + '\n';
    } else if (path.startsWith("/page/files/")) {
        // Links are relative to the page's folder, so they resolve to /page/files/<name>.
        answer.type = "application/octet-stream";
        answer.body = site.file;
        answer.delayMs = site.fileDelayMs;
        ++site.fileRequests;
        if (site.dropEvery > 0 && site.fileRequests % site.dropEvery == 0) {
            answer.drop = true;
        } else if (site.limitEvery > 0 && site.fileRequests % site.limitEvery == 0) {
            answer.status = "429 Too Many Requests";
            answer.type = "text/plain";
            answer.body = "slow down\n";
            if (!site.retryAfter.isEmpty())
                answer.headers = "Retry-After: " + site.retryAfter + "\r\n";
        }
    } else if (path.startsWith("/page/") && path.endsWith(".htm")) {
        answer.body = PageBody(path.mid(6).chopped(4), site.links, site.secondHost);
        answer.delayMs = site.pageDelayMs;
    } else {
        answer.status = "404 Not Found";
        answer.type = "text/plain";
        answer.body = "not found\n";
    }
    return answer;
}

// One client connection: its requests are answered in order, each after its delay, head and
// body in one write.
class Connection final : public QObject
{
public:
    Connection(QTcpSocket *socket, Site &site) : QObject(socket), m_socket(socket), m_site(site)
    {
        // Nothing small should wait for an acknowledgement.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_delay.setSingleShot(true);
        m_delay.setTimerType(Qt::PreciseTimer);
        connect(&m_delay, &QTimer::timeout, this, &Connection::send);
        connect(m_socket, &QTcpSocket::readyRead, this, [this] {
            m_buffer += m_socket->readAll();
            serve();
        });
        connect(m_socket, &QTcpSocket::disconnected, m_socket, &QObject::deleteLater);
        m_buffer = m_socket->readAll();
        serve();
    }

private:
    void serve()
    {
        if (m_delay.isActive() || m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            if (m_buffer.size() > kMaxHeadBytes)
                m_socket->abort();
            return;
        }
        // Requests to this site carry no body.
        const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
        m_buffer.remove(0, headEnd + 4);
        const QList<QByteArray> request = lines.first().trimmed().split(' ');
        const QByteArray target = request.value(1);
        const qsizetype question = target.indexOf('?');
        const QByteArray path = question < 0 ? target : target.left(question);
        QByteArray connection;
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("connection:"))
                connection = line.mid(11).trimmed().toLower();
        }
        m_close = request.value(2) == "HTTP/1.0" ? connection != "keep-alive"
                                                 : connection == "close";

        if (path != "/stats") {
            ++m_site.requests;
            if (!m_counted)
                ++m_site.connections;
            m_counted = true;
        }
        const Answer answer = Route(path, m_site);
        if (answer.drop) {
            m_socket->abort();
            return;
        }
        m_answer = "HTTP/1.1 " + answer.status + "\r\n" + answer.headers + "Content-Type: "
            + answer.type + "\r\nContent-Length: " + QByteArray::number(answer.body.size())
            + (m_close ? "\r\nConnection: close\r\n\r\n" : "\r\nConnection: keep-alive\r\n\r\n");
        if (request.value(0) != "HEAD")
            m_answer += answer.body;
        m_delay.start(answer.delayMs);
    }

    void send()
    {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        m_socket->write(std::exchange(m_answer, {}));
        if (m_close)
            m_socket->disconnectFromHost();
        else
            serve();
    }

    QTcpSocket *m_socket;
    Site &m_site;
    QByteArray m_buffer;
    QByteArray m_answer;
    QTimer m_delay;
    bool m_close = false;
    bool m_counted = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Site site;
    std::vector<const char *> positional;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--page-delay-ms") == 0 && i + 1 < argc)
            site.pageDelayMs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--file-delay-ms") == 0 && i + 1 < argc)
            site.fileDelayMs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--limit-every") == 0 && i + 1 < argc)
            site.limitEvery = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--retry-after") == 0 && i + 1 < argc)
            site.retryAfter = argv[++i];
        else if (std::strcmp(argv[i], "--drop-every") == 0 && i + 1 < argc)
            site.dropEvery = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--second-host") == 0 && i + 1 < argc)
            site.secondHost = argv[++i];
        else
            positional.push_back(argv[i]);
    }
    const auto number = [&positional](std::size_t at, int fallback) {
        return at < positional.size() ? std::atoi(positional[at]) : fallback;
    };
    const int pages = number(0, 200);
    site.links = number(1, 25);
    const int fileBytes = number(2, 10240);
    if (pages <= 0 || site.links <= 0 || fileBytes < 0 || site.pageDelayMs < 0
        || site.fileDelayMs < 0) {
        std::fprintf(stderr,
                     "usage: bench_site [--page-delay-ms N] [--file-delay-ms N] [--limit-every N] "
                     "[--retry-after S] [--drop-every N] [--second-host NAME] <pages> <links per "
                     "page> <file bytes>\n");
        return 2;
    }
    site.file = QByteArray(fileBytes, 'x');

    QTcpServer server;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, &site] {
        while (QTcpSocket *socket = server.nextPendingConnection())
            new Connection(socket, site);
    });
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "bench_site: cannot listen\n");
        return 1;
    }
    if (!site.secondHost.isEmpty())
        site.secondHost += ':' + QByteArray::number(server.serverPort());
    std::printf("http://127.0.0.1:%u\n", static_cast<unsigned>(server.serverPort()));
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    return app.exec();
}
