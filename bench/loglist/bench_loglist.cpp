// What one line added to the activity log costs, with the log holding 10 lines and
// holding 100,000: the line is added, made current and scrolled to. Timed once with the
// window's events (layout, painting) processed after each line, as when every line is
// painted, and once with them processed after the last, as when lines come in batches
// between paints. The list widget the log used to be is timed the same way.
// Usage: bench_loglist (without a display, the offscreen platform is used)
#include "loglist.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTest>

#include <cstdio>
#include <functional>

namespace {

QString Line(int i)
{
    return QStringLiteral(
               "12:34:56 -> Download complete: /home/user/downloads/gallery/picture%1.jpg.")
        .arg(i);
}

QStringList Lines(int count)
{
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i)
        lines.append(Line(i));
    return lines;
}

struct Log
{
    QWidget *widget;
    std::function<void(const QString &)> append;
};

// Microseconds per line for `added` lines appended one at a time to a log of `start` lines,
// with the events processed after each line or only once at the end.
double PerLine(const std::function<Log(QWidget *, const QStringList &)> &make, int start, int added,
               bool events)
{
    QWidget window;
    window.resize(960, 200);
    const Log log = make(&window, Lines(start));
    log.widget->setGeometry(8, 8, 922, 69);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return -1;
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < added; ++i) {
        log.append(Line(start + i));
        if (events)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1000.0 / added;
}

Log MakeLogList(QWidget *parent, const QStringList &lines)
{
    auto *log = new LogList(parent);
    log->AppendLines(lines);
    return {log, [log](const QString &line) { log->AppendLine(line); }};
}

Log MakeListWidget(QWidget *parent, const QStringList &lines)
{
    auto *list = new QListWidget(parent);
    list->setUniformItemSizes(true);
    list->addItems(lines);
    return {list, [list](const QString &line) {
                auto *item = new QListWidgetItem(line, list);
                list->setCurrentItem(item);
                list->scrollToItem(item);
            }};
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const struct
    {
        const char *name;
        Log (*make)(QWidget *, const QStringList &);
        int added;
    } logs[] = {{"LogList", MakeLogList, 2000}, {"QListWidget (before)", MakeListWidget, 200}};
    std::printf("Cost of one appended line, platform %s\n",
                qPrintable(QGuiApplication::platformName()));
    for (const bool events : {true, false}) {
        std::printf("%s\n",
                    events ? "events processed after each line:"
                           : "events processed after the last line:");
        for (const auto &log : logs) {
            const int added = events ? log.added : 20 * log.added;
            const double shortLog = PerLine(log.make, 10, added, events);
            const double longLog = PerLine(log.make, 100'000, added, events);
            std::printf("  %-20s at 10 lines %9.2f us, at 100,000 lines %9.2f us (x %.2f)\n",
                        log.name, shortLog, longLog, longLog / shortLog);
        }
    }
    return 0;
}
