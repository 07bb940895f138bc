#include "exitstatus.h"
#include "runreport.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The report of a run, from the engine's events as they come: the progress line while it runs,
// the summary, the exit status and the failed addresses at its end.
class TestRunReport : public QObject
{
    Q_OBJECT

private slots:
    void report_data();
    void report();
    void byteSize_data();
    void byteSize();
};

void TestRunReport::report_data()
{
    // Events: "page", "kept N", "saved BYTES", "known", "failed CODE ADDRESS".
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<RunEnd>("end");
    QTest::addColumn<QString>("progress"); // before the end, 2 s into a series of 5 pages
    QTest::addColumn<QString>("summary");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("failed");
    QTest::newRow("the second page under way")
        << QStringList{u"page"_s,      u"kept 3"_s, u"saved 1500"_s,
                       u"saved 600"_s, u"page"_s,   u"kept 1"_s}
        << RunEnd::Completed
        << u"1/5 pages, 4 kept, 2 files, 2.1 KiB, 1.0 KiB/s, 0:02 elapsed, 0:08 left"_s
        << u"Run completed: 2 of 5 pages, 4 links kept, 2 items downloaded, 2 files saved "
           u"(2.1 KiB), 0 failures.\n"_s
        << exitstatus::kDone << QByteArray();
    QTest::newRow("failures skipped, each address once")
        << QStringList{u"page"_s, u"failed 404 http://h/x.zip"_s, u"page"_s,
                       u"failed 503 http://h/x.zip"_s, u"failed 1001 http://h/p3.htm"_s}
        << RunEnd::Completed
        << u"1/5 pages, 0 kept, 0 files, 0 B, 0 B/s, 3 failed, 0:02 elapsed, 0:08 left"_s
        << u"Run completed: 2 of 5 pages, 0 links kept, 2 items downloaded, 0 files saved (0 B), "
           u"3 failures.\nError 404 at http://h/x.zip: failed\nError 503 at http://h/x.zip: "
           u"failed\nError 1001 at http://h/p3.htm: failed\n"_s
        << exitstatus::kFailuresSkipped
        << QByteArray("http://h/x.zip\t0\tpage\nhttp://h/p3.htm\t0\tpage\n");
    QTest::newRow("known links, stopped by a failure")
        << QStringList{u"page"_s, u"known"_s, u"known"_s, u"failed 75 http://h/y.zip"_s}
        << RunEnd::StoppedByFailure
        << u"0/5 pages, 0 kept, 0 files, 0 B, 0 B/s, 1 failed, 0:02 elapsed"_s
        << u"Run stopped: 1 of 5 pages, 0 links kept, 2 items downloaded, 0 files saved (0 B), "
           u"1 failures, 2 known from the archive.\nError 75 at http://h/y.zip: failed\n"_s
        << exitstatus::kStoppedByFailure << QByteArray("http://h/y.zip\t0\tpage\n");
    QTest::newRow("interrupted before a page")
        << QStringList() << RunEnd::Interrupted
        << u"0/5 pages, 0 kept, 0 files, 0 B, 0 B/s, 0:02 elapsed"_s
        << u"Run interrupted: 0 of 5 pages, 0 links kept, 2 items downloaded, 0 files saved "
           u"(0 B), 0 failures.\n"_s
        << exitstatus::kInterrupted << QByteArray();
}

void TestRunReport::report()
{
    QFETCH(QStringList, events);
    QFETCH(RunEnd, end);
    QFETCH(QString, progress);
    QFETCH(QString, summary);
    QFETCH(int, status);
    QFETCH(QByteArray, failed);
    RunReport report(5, true);
    for (const QString &event : std::as_const(events)) {
        const QStringList words = event.split(u' ');
        if (words[0] == u"page"_s)
            report.PageStarted(0, u"http://h/p.htm"_s);
        else if (words[0] == u"kept"_s)
            report.LinksKept(u"http://h/p.htm"_s, 10, words[1].toInt());
        else if (words[0] == u"saved"_s)
            report.FileSaved(u"http://h/f"_s, u"/out/f"_s, words[1].toLongLong());
        else if (words[0] == u"known"_s)
            report.LinkKnown(u"http://h/k"_s, u"/out/k"_s);
        else
            report.Failed(words[1].toInt(), u"failed"_s, words[2]);
    }
    QCOMPARE(ProgressText(report.CurrentProgress(), 2000), progress);
    report.Ended(end, 2);
    QCOMPARE(report.Summary(), summary);
    QCOMPARE(report.ExitStatus(), status);
    QCOMPARE(report.FailedAddresses(), failed);
}

void TestRunReport::byteSize_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("below a KiB") << qint64(1023) << u"1023 B"_s;
    QTest::newRow("just a KiB") << qint64(1024) << u"1.0 KiB"_s;
    QTest::newRow("just a MiB") << qint64(1024 * 1024) << u"1.0 MiB"_s;
    QTest::newRow("beyond the largest unit")
        << qint64(5) * 1024 * 1024 * 1024 * 1024 * 1024 << u"5120.0 TiB"_s;
}

void TestRunReport::byteSize()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(ByteSize(bytes), text);
}

QTEST_GUILESS_MAIN(TestRunReport)
#include "tst_runreport.moc"
