// Serves a site of numbered pages (/page/<n>.htm), each linking to files of a fixed size
// (files/<n>_<k>.bin beside it), on 127.0.0.1
// until stdin closes. Prints the base address on the first line of stdout.
//   bench_site <pages> <links per page> <file bytes>

#include "testhttpserver.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int pages = argc > 1 ? std::atoi(argv[1]) : 200;
    const int links = argc > 2 ? std::atoi(argv[2]) : 25;
    const int fileBytes = argc > 3 ? std::atoi(argv[3]) : 10240;
    if (pages <= 0 || links <= 0 || fileBytes < 0) {
        std::fprintf(stderr, "usage: bench_site <pages> <links per page> <file bytes>\n");
        return 2;
    }

    TestHttpServer server;
    server.setIdleLimit(120000);
    const QByteArray content = TestHttpServer::bytes(fileBytes);
    // Links are relative to the page's folder, so they resolve to /page/files/<name>.
    server.addPrefixRoute(QStringLiteral("/page/files/"), [content](const TestHttpRequest &) {
        return TestHttpResponse::page(content, "application/octet-stream");
    });
    server.addPrefixRoute(QStringLiteral("/page/"), [links](const TestHttpRequest &request) {
        // /page/<n>.htm
        const QByteArray number = request.path.mid(6).chopped(4);
        QByteArray body = "<html><head><title>Page " + number + "</title></head><body>\n"
                          "<h1>Files of page " + number + "</h1><ul>\n";
        for (int k = 1; k <= links; ++k) {
            const QByteArray name = number + '_' + QByteArray::number(k) + ".bin";
            body += "<li><a href=\"files/" + name + "\">" + name + "</a> some text</li>\n";
        }
        body += "</ul><p><a href=\"/page/index.htm\">index</a></p></body></html>\n";
        return TestHttpResponse::page(body);
    });
    if (!server.start()) {
        std::fprintf(stderr, "bench_site: cannot listen\n");
        return 1;
    }
    std::printf("%s\n", server.baseUrl().toString().toUtf8().constData());
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    return app.exec();
}
