// The browser engine's own share of a run: the run's pages, one after another, in a visible
// view with nothing around it, each waited for until loaded and its markup taken by a
// script, as the run takes it.
//   bench_engine <base URL> <first page> <last page> [--size WxH] [--timeout-s N]
// Loads <base URL>/page/<n>.htm; exit status 0 only when every page loaded and gave markup.

#include "loopbackbrowser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSize>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Runs the event loop until the finish handed to begin is called or the time is up; true
// when finished in time. A finish that comes after the time-out finds no loop to quit.
template<typename Begin>
bool AwaitDone(int timeoutMs, Begin begin)
{
    struct Wait
    {
        bool done = false;
        QEventLoop *loop = nullptr;
    };
    QEventLoop loop;
    const auto wait = std::make_shared<Wait>();
    wait->loop = &loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    begin([wait] {
        wait->done = true;
        if (wait->loop)
            wait->loop->quit();
    });
    if (!wait->done)
        loop.exec();
    wait->loop = nullptr;
    return wait->done;
}

bool Load(QWebEngineView &view, const QUrl &url, int timeoutMs)
{
    bool ok = false;
    QMetaObject::Connection connection;
    const bool done = AwaitDone(timeoutMs, [&](auto finish) {
        connection = QObject::connect(&view, &QWebEngineView::loadFinished, &view,
                                      [&ok, finish](bool loaded) {
                                          ok = loaded;
                                          finish();
                                      });
        view.load(url);
    });
    QObject::disconnect(connection);
    return done && ok;
}

// The markup's length, -1 when none came in time. A late result writes only what it owns.
qsizetype Markup(QWebEngineView &view, int timeoutMs)
{
    auto size = std::make_shared<qsizetype>(-1);
    const bool done = AwaitDone(timeoutMs, [&](auto finish) {
        view.page()->runJavaScript(
            u"(document && document.documentElement) ? document.documentElement.outerHTML : null"_s,
            [size, finish](const QVariant &result) {
                if (result.typeId() == QMetaType::QString)
                    *size = result.toString().size();
                finish();
            });
    });
    return done ? *size : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QSize size(940, 600);
    int timeoutS = 30;
    std::vector<const char *> positional;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            int width = 0;
            int height = 0;
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) == 2 && width > 0 && height > 0)
                size = QSize(width, height);
        } else if (std::strcmp(argv[i], "--timeout-s") == 0 && i + 1 < argc) {
            timeoutS = std::max(1, std::atoi(argv[++i]));
        } else {
            positional.push_back(argv[i]);
        }
    }
    if (positional.size() != 3) {
        std::fprintf(stderr,
                     "usage: bench_engine <base URL> <first page> <last page> [--size WxH] "
                     "[--timeout-s N]\n");
        return 2;
    }
    const QString base = QString::fromLocal8Bit(positional[0]);
    const long first = std::atol(positional[1]);
    const long last = std::atol(positional[2]);
    if (last < first || first < 0) {
        std::fprintf(stderr, "bench_engine: pages %ld..%ld make no run\n", first, last);
        return 2;
    }

    PrepareLoopbackBrowser();
    QApplication app(argc, argv);

    QWebEngineView view;
    view.resize(size);
    view.show();
    const int timeoutMs = timeoutS * 1000;
    // The engine and its first renderer start before the clock, as the window's start page
    // starts them before a run.
    Load(view, QUrl(u"about:blank"_s), timeoutMs);

    long failed = 0;
    qint64 markupChars = 0;
    qint64 slowestNs = 0;
    QElapsedTimer clock;
    clock.start();
    for (long n = first; n <= last; ++n) {
        const qint64 pageStart = clock.nsecsElapsed();
        const QUrl url(base + u"/page/"_s + QString::number(n) + u".htm"_s);
        const qsizetype chars = Load(view, url, timeoutMs) ? Markup(view, timeoutMs) : -1;
        slowestNs = std::max(slowestNs, clock.nsecsElapsed() - pageStart);
        if (chars < 0)
            ++failed;
        else
            markupChars += chars;
    }
    const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const long pages = last - first + 1;

    std::printf("platform              %s, view %dx%d\n",
                qUtf8Printable(QGuiApplication::platformName()), view.width(), view.height());
    std::printf("pages                 %ld (%ld..%ld), %ld failed\n", pages, first, last, failed);
    std::printf("wall time             %.2f s\n", wall);
    std::printf("per page              %.1f ms mean, %.1f ms longest\n",
                wall * 1000.0 / static_cast<double>(pages), static_cast<double>(slowestNs) / 1e6);
    std::printf("markup                %lld characters\n", static_cast<long long>(markupChars));
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
