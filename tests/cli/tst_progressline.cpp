#include "console.h"

#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// What has reached the terminal since the last look.
QByteArray Drain(int master)
{
    QByteArray got;
    char buffer[512];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
        got.append(buffer, n);
    return got;
}

} // namespace

// The progress line on a terminal: drawn in place, cut to the terminal's width, taken off
// around what else is written there, and gone for good once stopped.
class TestProgressLine : public QObject
{
    Q_OBJECT

private slots:
    void drawnAroundOtherLines();
};

void TestProgressLine::drawnAroundOtherLines()
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    QVERIFY(terminal >= 0);
    termios raw = {};
    QVERIFY(::tcgetattr(terminal, &raw) == 0);
    ::cfmakeraw(&raw);
    QVERIFY(::tcsetattr(terminal, TCSANOW, &raw) == 0);
    const winsize size{1, 20, 0, 0};
    QVERIFY(::ioctl(master, TIOCSWINSZ, &size) == 0);
    QVERIFY(::fcntl(master, F_SETFL, O_NONBLOCK) == 0);

    QString text = u"3/20 pages"_s;
    ProgressLine line(terminal, [&text] { return text; });
    QVERIFY(line.Enabled());
    line.Start();
    QCOMPARE(Drain(master), QByteArray("\r3/20 pages\x1b[K"));
    text = u"4/20 pages, 57 kept, 40 files"_s;
    line.Around([terminal] { QCOMPARE(::write(terminal, "log\n", 4), 4); });
    QCOMPARE(Drain(master), QByteArray("\r\x1b[Klog\n\r4/20 pages, 57 kept\x1b[K"));
    line.Stop();
    line.Around([terminal] { QCOMPARE(::write(terminal, "end\n", 4), 4); });
    QCOMPARE(Drain(master), QByteArray("\r\x1b[Kend\n"));
    ::close(terminal);
    ::close(master);
}

QTEST_GUILESS_MAIN(TestProgressLine)
#include "tst_progressline.moc"
