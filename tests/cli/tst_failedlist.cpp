// The --failed file: for each failure what it takes to try it again, one line each that no
// address can break.
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

QTEST_GUILESS_MAIN(TestFailedList)
#include "tst_failedlist.moc"
