#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

struct TestHttpRequest
{
    QByteArray method;
    QByteArray target;                            // as sent: the path and any query
    QByteArray path;                              // the target up to "?"
    QByteArray query;                             // after "?", without it
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
    qint64 receivedMs = 0; // on a steady clock, when the request's head was in

    QByteArray header(const QByteArray &lowerCaseName) const;
    // The value of a query key ("n" in "?n=5"), or the fallback when absent.
    QByteArray queryValue(const QByteArray &key, const QByteArray &fallback = {}) const;
};

struct TestHttpResponse
{
    enum class Delivery {
        Whole,     // head and body at once
        Trickle,   // head, then the body a chunk at a time with pauses
        CutShort,  // announces announcedLength, sends the body, then closes
        Hang,      // reads the request and never answers; closed when idle too long or on stop
        Generated, // announcedLength bytes of bytes(announcedLength), made as the socket drains
        Stall, // announces announcedLength, sends the body, then stays silent with the connection
               // open
        ChunkedCut,  // the body in chunks of trickleChunk bytes, then closes before the last, empty
                     // chunk
        Drop,        // reads the request and closes the connection without an answer
        Held,        // answers as Whole once releaseHeld() is called after the request came in
        Unannounced, // no Content-Length: the body, then the connection closes
    };

    int status = 200;
    QByteArray reason; // empty: the usual phrase of the status
    QByteArray contentType = "text/html; charset=utf-8";
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    Delivery delivery = Delivery::Whole;
    int trickleChunk = 1;
    int trickleIntervalMs = 100;
    qint64 announcedLength = -1;
    int generatedPauseMs = 0; // Generated: a pause after each 64 KiB, 0 for none

    static TestHttpResponse page(const QByteArray &body,
                                 const QByteArray &contentType = "text/html; charset=utf-8");
    static TestHttpResponse redirect(const QByteArray &location, int status = 302);
    static TestHttpResponse error(int status);
};

// A loopback HTTP/1.1 server for tests, on 127.0.0.1 and a port the system picks. It runs
// its own thread, so a test thread that blocks (in a transfer or a page wait) never starves
// it; it serves parallel connections and keeps them alive between requests. Every
// connection is closed after idleLimitMs without traffic, and all of them on stop().
//
// Routes present from the start:
//   /bytes/N          N bytes of bytes(N), application/octet-stream
//   /status/N         status N (200 to 599) with a short text body
//   /redirect/one     302 to /redirect/target, a small HTML page
//   /loop/a, /loop/b  302 to each other, for ever
//   /hang             never answers
//   /slow?n=30&ms=100 n bytes of bytes(n), one byte every ms milliseconds
//   /cut              announces 1000 bytes, sends the first 100 of bytes(1000), closes
//   /generated/N      N bytes of bytes(N), never held whole: for bodies of any size
//                     (?ms=M pauses M milliseconds after each 64 KiB)
//   /stall            announces 1000 bytes, sends the first 100 of bytes(1000), stays silent
//   /chunked-cut      the first 100 of bytes(1000) in chunks of 10, closed before the last chunk
//   /script-links     scriptLinksPage({"/linked/1", "/linked/2", "/linked/3"})
//   /held/N           N bytes of bytes(N), answered only once releaseHeld() is called
//   /unannounced/N    N bytes of bytes(N) without a Content-Length, ended by closing
// Anything else is 404. Routes added later replace those of the same path.
class TestHttpServer final
{
public:
    // Runs on the server's thread: it must not touch the test's objects without a lock.
    using Handler = std::function<TestHttpResponse(const TestHttpRequest &)>;

    static constexpr int CutAnnounced = 1000;
    static constexpr int CutSent = 100;

    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer &) = delete;
    TestHttpServer &operator=(const TestHttpServer &) = delete;

    // Starting clears the request log and the connection count; routes stay.
    bool start();
    void stop();
    bool isRunning() const;

    quint16 port() const;
    QUrl baseUrl() const;                   // http://127.0.0.1:<port>
    QString url(const QString &path) const; // baseUrl followed by path, which starts with "/"
    // The same under another name of the loopback address, such as "localhost": another host
    // to a client.
    QString url(const QString &path, const QString &host) const;

    void addPage(const QString &path, const QByteArray &body,
                 const QByteArray &contentType = "text/html; charset=utf-8");
    void addRedirect(const QString &path, const QString &location, int status = 302);
    void addRoute(const QString &path, Handler handler);
    // Serves every path that starts with prefix; the longest matching prefix wins.
    void addPrefixRoute(const QString &prefix, Handler handler);

    // The target of every request received, in order of arrival.
    QStringList requestLog() const;
    int requestCount(const QString &target) const;
    // Every request received, with its headers and time, in order of arrival.
    QList<TestHttpRequest> requests() const;
    void clearRequestLog();
    // Connections accepted so far: a client that reuses its connection adds none.
    int connectionCount() const;

    void setIdleLimit(int milliseconds);
    // Every answer held so far goes out.
    void releaseHeld();

    // An address on 127.0.0.1 where nothing listens: a port bound, then released.
    static QString refusedAddress();
    // n bytes of a fixed pseudo-random sequence, so a shifted or dropped byte shows.
    static QByteArray bytes(qsizetype n);
    // An HTML page whose markup holds none of links; a script adds them as anchors once the
    // page has loaded (after delayMs more when it is above 0).
    static QByteArray scriptLinksPage(const QStringList &links, int delayMs = 0);

    struct Shared;

private:
    class ServerThread;
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<ServerThread> m_thread;
    quint16 m_port = 0;
};
