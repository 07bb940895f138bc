#include "numbers.h"
#include "scan.h"

#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The scan as first described: every position visited, the opening compared there, the
// status set at every pass. The fast scan must agree with it in every observable way.
void ReferenceScan(QStringView markup, QStringView opening, int base, QStringList &links,
                   QList<int> &statuses)
{
    const qsizetype length = markup.size();
    const qsizetype width = opening.size();
    for (qsizetype p = 1; p <= length; ++p) {
        statuses.append(base
                        + static_cast<int>(numbers::RoundHalfEven(static_cast<double>(p)
                                                                  / static_cast<double>(length)
                                                                  * 50.0)));
        if (p - 1 + width <= length && markup.sliced(p - 1, width) == opening) {
            p += width;
            QString value;
            while (p <= length && markup[p - 1] != u'"')
                value += markup[p - 1], ++p;
            links.append(value);
        }
    }
}

QList<int> Distinct(const QList<int> &statuses)
{
    QList<int> distinct;
    for (int s : statuses)
        if (distinct.isEmpty() || distinct.last() != s)
            distinct.append(s);
    return distinct;
}

struct Recorded
{
    QStringList links;
    QList<int> statuses;
    scan::Outcome outcome = scan::Outcome::Completed;
};

Recorded Run(QStringView markup, std::function<bool()> cancelled = {})
{
    Recorded r;
    scan::Observer observer{[&r](int percent) { r.statuses.append(percent); },
                            std::move(cancelled)};
    r.outcome = scan::ScanLinks(markup, r.links, observer);
    return r;
}

} // namespace

class TestScan : public QObject
{
    Q_OBJECT

private slots:
    void links_data();
    void links();
    void sameAsPositionByPosition_data();
    void sameAsPositionByPosition();
    void anyOpeningSameAsPositionByPosition_data();
    void anyOpeningSameAsPositionByPosition();
    void emptyMarkupReportsNothing();
    void finalStatus_data();
    void finalStatus();
    void cancelBeforeFirstScan();
    void cancelBetweenScans();
    void manyLinksAreNotCappedAndPollCancel();
};

void TestScan::links_data()
{
    QTest::addColumn<QString>("markup");
    QTest::addColumn<QStringList>("links");

    QTest::newRow("hrefs first, then srcs")
        << u"<a href=\"x.htm\">x</a><img src=\"y.gif\"><a href=\"z.htm\">z</a>"_s
        << QStringList{u"x.htm"_s, u"z.htm"_s, u"y.gif"_s};
    QTest::newRow("duplicates kept")
        << u"<a href=\"a\"></a><a href=\"a\"></a>"_s << QStringList{u"a"_s, u"a"_s};
    QTest::newRow("capitals not found")
        << u"<A HREF=\"x\"><IMG SRC=\"y\"><a Href=\"z\">"_s << QStringList{};
    QTest::newRow("single quotes, blanks, unquoted not found")
        << u"<a href='x'><a href = \"y\"><a href=z>"_s << QStringList{};
    QTest::newRow("empty value") << u"<a href=\"\">"_s << QStringList{QString()};
    QTest::newRow("unterminated value kept") << u"<a href=\"abc"_s << QStringList{u"abc"_s};
    QTest::newRow("opening at the very end") << u"x href=\""_s << QStringList{QString()};
    QTest::newRow("value with line breaks and brackets")
        << u"<a href=\"a\r\nb <c>\">"_s << QStringList{u"a\r\nb <c>"_s};
    QTest::newRow("&amp; verbatim") << u"<a href=\"x?a=1&amp;b=2\">"_s
                                    << QStringList{u"x?a=1&amp;b=2"_s};
    QTest::newRow("lowsrc found by the src scan")
        << u"<img lowsrc=\"l.gif\" src=\"s.gif\">"_s << QStringList{u"l.gif"_s, u"s.gif"_s};
    QTest::newRow("inside script and text")
        << u"<script>var s='href=\"q\"';</script>see src=\"t\""_s << QStringList{u"q"_s, u"t"_s};
    QTest::newRow("opening inside a value is skipped")
        << u"href=\"href=\"x\""_s << QStringList{u"href="_s};
    QTest::newRow("src scan does not skip href values")
        << u"href=\"src=\"x\""_s << QStringList{u"src="_s, u"x"_s};
    QTest::newRow("closing quote begins nothing")
        << u"<a href=\"a\"href=\"b\">"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("surrogate pairs") << u"<a href=\"\U0001F600/\u00e9\">"_s
                                     << QStringList{u"\U0001F600/\u00e9"_s};
    QTest::newRow("no links") << u"<p>hello</p>"_s << QStringList{};
}

void TestScan::links()
{
    QFETCH(QString, markup);
    QFETCH(QStringList, links);
    const Recorded r = Run(markup);
    QCOMPARE(r.outcome, scan::Outcome::Completed);
    QCOMPARE(r.links, links);
}

void TestScan::sameAsPositionByPosition_data()
{
    QTest::addColumn<int>("vectorBits");
    QTest::newRow("plain") << 0;
    QTest::newRow("128-bit") << 128;
    QTest::newRow("256-bit") << 256;
}

// Random markup built from fragments that provoke every corner: openings cut short,
// overlapping openings, quotes at block borders, values running to the end.
void TestScan::sameAsPositionByPosition()
{
    QFETCH(int, vectorBits);
    const int inUse = scan::UseVectorWidthForTesting(vectorBits);
    const auto restore = qScopeGuard([] { scan::UseVectorWidthForTesting(256); });
    if (inUse != vectorBits)
        QSKIP("this processor lacks the vector width");

    const QString fragments[] = {u"href=\""_s, u"src=\""_s, u"\""_s,  u"h"_s,   u"href="_s,
                                 u"s"_s,       u"src"_s,    u"="_s,   u"xy"_s,  u"lowsrc=\""_s,
                                 u"\n"_s,      u"\u00e9"_s, u"<a "_s, u"       "_s};
    QRandomGenerator random(20240611);
    int compared = 0;
    for (int round = 0; round < 600; ++round) {
        QString markup;
        const int pieces = round < 500 ? random.bounded(0, 40) : random.bounded(500, 4000);
        for (int i = 0; i < pieces; ++i)
            markup += fragments[random.bounded(static_cast<int>(std::size(fragments)))];

        QStringList expectedLinks;
        QList<int> expectedStatuses;
        ReferenceScan(markup, u"href=\"", 0, expectedLinks, expectedStatuses);
        ReferenceScan(markup, u"src=\"", 50, expectedLinks, expectedStatuses);

        const Recorded r = Run(markup);
        QCOMPARE(r.links, expectedLinks);
        QCOMPARE(r.statuses, Distinct(expectedStatuses));
        ++compared;
    }
    QCOMPARE(compared, 600);
}

void TestScan::anyOpeningSameAsPositionByPosition_data()
{
    QTest::addColumn<QString>("opening");
    QTest::newRow("href") << u"href=\""_s;
    QTest::newRow("just the quote") << u"\""_s;
    QTest::newRow("equals and quote") << u"=\""_s;
    QTest::newRow("two quotes") << u"\"\""_s;
    QTest::newRow("not ending in a quote") << u"h="_s;
}

void TestScan::anyOpeningSameAsPositionByPosition()
{
    QFETCH(QString, opening);
    const QString fragments[] = {u"href=\""_s, u"\""_s, u"\"\""_s, u"h"_s, u"="_s, u"x"_s,
                                 u"    "_s};
    QRandomGenerator random(99);
    int compared = 0;
    for (int round = 0; round < 300; ++round) {
        QString markup;
        const int pieces = random.bounded(0, round < 250 ? 30 : 2000);
        for (int i = 0; i < pieces; ++i)
            markup += fragments[random.bounded(static_cast<int>(std::size(fragments)))];
        QStringList expectedLinks;
        QList<int> expectedStatuses;
        ReferenceScan(markup, opening, 50, expectedLinks, expectedStatuses);

        QStringList links;
        QList<int> statuses;
        scan::ScanOpening(markup, opening, 50, links,
                          scan::Observer{[&statuses](int p) { statuses.append(p); }, {}});
        QCOMPARE(links, expectedLinks);
        QCOMPARE(statuses, Distinct(expectedStatuses));
        ++compared;
    }
    QCOMPARE(compared, 300);
}

void TestScan::emptyMarkupReportsNothing()
{
    int polls = 0;
    const Recorded r = Run(QStringView(), [&polls] { ++polls; return true; });
    QCOMPARE(r.outcome, scan::Outcome::Completed);
    QVERIFY(r.links.isEmpty());
    QVERIFY(r.statuses.isEmpty());
    QCOMPARE(polls, 0); // no position, no check point
}

void TestScan::finalStatus_data()
{
    QTest::addColumn<QString>("markup");
    QTest::addColumn<int>("afterFirstScan");
    QTest::addColumn<int>("last");
    QTest::newRow("no links") << QString(200, u'x') << 50 << 100;
    QTest::newRow("single character") << u"x"_s << 50 << 100;
    // A scan whose last value closes the markup ends on the status of that value's opening.
    QTest::newRow("href value closes the markup")
        << (QString(80, u'x') + u"href=\"abc\""_s) << 45 << 100;
    QTest::newRow("src value closes the markup")
        << (QString(80, u'x') + u"src=\"abcd\""_s) << 50 << 95;
    QTest::newRow("unterminated value") << u"href=\"abcd"_s << 5 << 100;
}

void TestScan::finalStatus()
{
    QFETCH(QString, markup);
    QFETCH(int, afterFirstScan);
    QFETCH(int, last);
    QList<int> first;
    QStringList links;
    scan::ScanOpening(markup, u"href=\"", 0, links,
                      scan::Observer{[&first](int percent) { first.append(percent); }, {}});
    QCOMPARE(first.last(), afterFirstScan);
    QCOMPARE(Run(markup).statuses.last(), last);
}

void TestScan::cancelBeforeFirstScan()
{
    const Recorded r = Run(u"<a href=\"x\">"_s, [] { return true; });
    QCOMPARE(r.outcome, scan::Outcome::Cancelled);
    QVERIFY(r.links.isEmpty());
    QVERIFY(r.statuses.isEmpty());
}

void TestScan::cancelBetweenScans()
{
    int polls = 0;
    const Recorded r = Run(u"<a href=\"x\"><img src=\"y\">"_s, [&polls] { return ++polls == 2; });
    QCOMPARE(r.outcome, scan::Outcome::Cancelled);
    QCOMPARE(r.links, QStringList{u"x"_s});
    QCOMPARE(r.statuses.last(), 50);
}

void TestScan::manyLinksAreNotCappedAndPollCancel()
{
    QString markup;
    const int count = 40000;
    for (int i = 0; i < count; ++i)
        markup += u"<a href=\"l\">"_s;
    QCOMPARE(Run(markup).links.size(), count);

    // Cancelled while the scan is under way (as a caller on another thread could): it stops
    // at a later look and keeps what it has collected.
    int polls = 0;
    const Recorded r = Run(markup, [&polls] { return ++polls > 1; });
    QCOMPARE(r.outcome, scan::Outcome::Cancelled);
    QVERIFY(r.links.size() > 0);
    QVERIFY(r.links.size() < count);
}

QTEST_GUILESS_MAIN(TestScan)
#include "tst_scan.moc"
