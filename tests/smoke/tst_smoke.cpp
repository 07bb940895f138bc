// Starts the real program headless and checks that it comes up and goes down cleanly.

#include "testhttpserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

class tst_smoke final : public QObject
{
    Q_OBJECT

private slots:
    void startsShowsTheWindowAndEndsOnTerminate();
    void unattendedRunWithoutADisplay();
};

void tst_smoke::startsShowsTheWindowAndEndsOnTerminate()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
    env.insert(u"XDG_RUNTIME_DIR"_s, home.path());

    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(LINKHAULER_BINARY), {});
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));

    // The first start opens the help pane and then records that it has done so: the
    // setting appears once the splash has gone and the main window has loaded.
    const QString settings = home.filePath(u"config/Linkhauler/Linkhauler.conf"_s);
    const auto loaded = [&] {
        QFile file(settings);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("ShowHelp=False");
    };
    QTRY_VERIFY_WITH_TIMEOUT(loaded() || program.state() == QProcess::NotRunning, 60000);
    QVERIFY2(program.state() == QProcess::Running, program.readAll().constData());

    // The embedded browser's engine resets signal handling while it starts; the program
    // takes SIGTERM over right after the window is built. Wait until it has.
    const auto catchesTerminate = [&] {
        QFile status(u"/proc/%1/status"_s.arg(program.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("SigCgt:"))
                return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1) != 0;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(catchesTerminate(), 30000);

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    QVERIFY2(program.waitForFinished(30000), "the program did not end on SIGTERM");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

void tst_smoke::unattendedRunWithoutADisplay()
{
    QTemporaryDir out;
    QVERIFY(out.isValid());
    TestHttpServer server;
    server.addPage(u"/tiny.htm"_s, "<html><body><a href=\"/bytes/10\">x</a></body></html>");
    QVERIFY(server.start());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    env.remove(u"QT_QPA_PLATFORM"_s);

    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(LINKHAULER_RUN_BINARY), {u"--help"_s});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(program.readAllStandardOutput().startsWith("Usage: linkhauler-run [options]"));

    program.start(QStringLiteral(LINKHAULER_RUN_BINARY),
                  {u"-a"_s, server.url(u"/tiny.htm"_s), u"-e"_s, u"10"_s, u"-x"_s, u"bin"_s,
                   u"-o"_s, out.path()});
    QVERIFY(program.waitForFinished(60000));
    QVERIFY2(program.exitCode() == 0, program.readAllStandardError().constData());
    QVERIFY(program.readAllStandardOutput().endsWith(" -> Done.  Items downloaded: 1.\n"));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{u"10"_s});
}

QTEST_GUILESS_MAIN(tst_smoke)
#include "tst_smoke.moc"
