// The --failed file: for each failure what it takes to try it again, one line each that no
// address can break.
#include "failedlist.h"
#include "runreport.h"

#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;

using Events = std::function<void(RunReport &)>;
Q_DECLARE_METATYPE(Events)

class TestFailedList final : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void readBack_data();
    void readBack();
};

void TestFailedList::lines_data()
{
    QTest::addColumn<Events>("events");
    QTest::addColumn<QByteArray>("lines");

    QTest::newRow("a page that failed, then a link of the next page") << Events([](RunReport &r) {
        r.PageStarted(4, u"http://h/p4.htm"_s);
        r.Failed(1001, u"The page could not be loaded"_s, u"http://h/p4.htm"_s);
        r.PageStarted(7, u"http://h/p7.htm"_s);
        r.LinksKept(u"http://h/p7.htm"_s, 3, 2);
        r.Failed(404, u"HTTP 404"_s, u"http://h/a.zip"_s);
    }) << QByteArray("http://h/p4.htm\t4\tpage\nhttp://h/a.zip\t7\tlink\n");
    // Regression: an address from the markup with a line break wrote two lines.
    QTest::newRow("blanks, tabs, line breaks and non-ASCII percent-encoded")
        << Events([](RunReport &r) {
               r.PageStarted(0, u"http://h/"_s);
               r.LinksKept(u"http://h/"_s, 1, 1);
               r.Failed(404, u"HTTP 404"_s, u"http://h/a b\tc\nd\u00e9.zip"_s);
           })
        << QByteArray("http://h/a%20b%09c%0Ad%C3%A9.zip\t0\tlink\n");
    QTest::newRow("a user and password as ***, the same failure once") << Events([](RunReport &r) {
        r.PageStarted(2, u"http://h/"_s);
        r.LinksKept(u"http://h/"_s, 1, 1);
        r.Failed(404, u"HTTP 404"_s, u"http://me:secret@h/f.zip"_s);
        r.Failed(75, u"Cannot write"_s, u"http://me:secret@h/f.zip"_s);
    }) << QByteArray("http://***@h/f.zip\t2\tlink\n");
}

void TestFailedList::lines()
{
    QFETCH(Events, events);
    QFETCH(QByteArray, lines);
    RunReport report(std::nullopt, true);
    events(report);
    QCOMPARE(report.FailedAddresses(), lines);
}

void TestFailedList::readBack_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("read"); // position and kind of each line, or the refusal

    QTest::newRow("what the lines write, and a failure of no page")
        << QByteArray(failedlist::Line(u"http://h/a b.zip"_s, 7, false) + "\n"
                      + failedlist::Line(u"http://h/p4.htm"_s, 4, true)
                      + failedlist::Line(u"http://h/"_s, -1, false))
        << u"http://h/a%20b.zip 7 link, http://h/p4.htm 4 page, http://h/ -1 link"_s;
    const auto refused = [](int line) {
        return u"line %1 is not ADDRESS, a tab, a position or -, a tab, and page or link."_s.arg(
            line);
    };
    QTest::newRow("a line break of another system")
        << QByteArray("http://h/\t1\tpage\r\n") << refused(1);
    QTest::newRow("a signed position")
        << QByteArray("http://h/\t1\tpage\nhttp://h/\t+1\tlink\n") << refused(2);
    QTest::newRow("no address") << QByteArray("\t1\tpage\n") << refused(1);
    QTest::newRow("a fourth field") << QByteArray("http://h/\t1\tpage\tx\n") << refused(1);
}

void TestFailedList::readBack()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, read);
    QList<failedlist::Entry> entries;
    const std::optional<QString> refusal = failedlist::Parse(text, entries);
    QStringList described;
    for (const failedlist::Entry &entry : entries)
        described.append(u"%1 %2 %3"_s.arg(QString::fromUtf8(entry.address),
                                           QString::number(entry.position),
                                           entry.page ? u"page"_s : u"link"_s));
    QCOMPARE(refusal.value_or(described.join(u", "_s)), read);
}

QTEST_GUILESS_MAIN(TestFailedList)
#include "tst_failedlist.moc"
