#include "referencewalk.h"
#include "scan.h"

#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Recorded
{
    QStringList links;
    QList<int> statuses;
    scan::Outcome outcome = scan::Outcome::Completed;
};

Recorded Run(QStringView markup, std::function<bool()> cancelled = {}, QStringView opening = {})
{
    Recorded r;
    const scan::Observer observer{[&r](int percent) { r.statuses.append(percent); },
                                  std::move(cancelled)};
    r.outcome = opening.isNull() ? scan::ScanLinks(markup, r.links, observer)
                                 : scan::ScanOpening(markup, opening, 50, r.links, observer);
    return r;
}

// Random markup from fragments that provoke every corner: openings cut short, overlapping
// openings, quotes at block borders, values running to the end.
QString RandomMarkup(QRandomGenerator &random, int maxPieces)
{
    static const QString fragments[] = {
        u"href=\""_s, u"src=\""_s, u"\""_s,        u"h"_s,  u"href="_s,  u"s"_s,    u"src"_s,
        u"="_s,       u"xy"_s,     u"lowsrc=\""_s, u"\n"_s, u"\u00e9"_s, u"\"\""_s, u"       "_s};
    QString markup;
    for (int i = random.bounded(maxPieces); i > 0; --i)
        markup += fragments[random.bounded(static_cast<int>(std::size(fragments)))];
    return markup;
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
    void finalStatus();
    void cancel();
};

void TestScan::links_data()
{
    QTest::addColumn<QString>("markup");
    QTest::addColumn<QStringList>("links");
    const auto row = [](const char *tag, const QString &markup, const QStringList &links) {
        QTest::newRow(tag) << markup << links;
    };
    row("hrefs first, then srcs", u"<a href=\"x.htm\">x</a><img src=\"y.gif\"><a href=\"z.htm\">"_s,
        {u"x.htm"_s, u"z.htm"_s, u"y.gif"_s});
    row("duplicates kept", u"<a href=\"a\"><a href=\"a\">"_s, {u"a"_s, u"a"_s});
    row("capitals not found", u"<A HREF=\"x\"><IMG SRC=\"y\"><a Href=\"z\">"_s, {});
    row("single quotes, blanks, unquoted", u"<a href='x'><a href = \"y\"><a href=z>"_s, {});
    row("empty value", u"<a href=\"\">"_s, {QString()});
    row("unterminated value kept", u"<a href=\"abc"_s, {u"abc"_s});
    row("opening at the very end", u"x href=\""_s, {QString()});
    row("line breaks and brackets", u"<a href=\"a\r\nb <c>\">"_s, {u"a\r\nb <c>"_s});
    row("&amp; verbatim", u"<a href=\"x?a=1&amp;b=2\">"_s, {u"x?a=1&amp;b=2"_s});
    row("lowsrc", u"<img lowsrc=\"l.gif\" src=\"s.gif\">"_s, {u"l.gif"_s, u"s.gif"_s});
    row("inside script and text", u"<script>s='href=\"q\"'</script>src=\"t\""_s, {u"q"_s, u"t"_s});
    row("opening inside a value skipped", u"href=\"href=\"x\""_s, {u"href="_s});
    row("src scan reads href values", u"href=\"src=\"x\""_s, {u"src="_s, u"x"_s});
    row("a closing quote opens nothing", u"<a href=\"a\"href=\"b\">"_s, {u"a"_s, u"b"_s});
    row("surrogate pairs", u"<a href=\"\U0001F600\">"_s, {u"\U0001F600"_s});
    QStringList many;
    QString page;
    for (int i = 0; i < 40000; ++i) // more than 32,767: not capped
        page += u"<a href=\"l\">"_s, many += u"l"_s;
    row("many links", page, many);
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
    QTest::addColumn<QString>("opening"); // none: both scans through ScanLinks
    for (int bits : {0, 128, 256})
        QTest::addRow("links, %d-bit", bits) << bits << QString();
    for (const char *opening : {"href=\"", "\"", "=\"", "\"\"", "h="})
        QTest::addRow("opening %s", opening) << 256 << QString::fromLatin1(opening);
}

void TestScan::sameAsPositionByPosition()
{
    QFETCH(int, vectorBits);
    QFETCH(QString, opening);
    const auto restore = qScopeGuard([] { scan::UseVectorWidthForTesting(256); });
    const int inUse = scan::UseVectorWidthForTesting(vectorBits);
#if defined(__x86_64__) && defined(__GNUC__)
    // Every width this processor has is used when asked for: SSE2 always, AVX2 when it says so.
    if (vectorBits < 256 || __builtin_cpu_supports("avx2"))
        QCOMPARE(inUse, vectorBits);
#endif
    if (inUse != vectorBits)
        QSKIP("this processor lacks the vector width");
    QRandomGenerator random(20240611);
    for (int round = 0; round < 400; ++round) {
        const QString markup = RandomMarkup(random, round < 300 ? 40 : 3000);
        QStringList links;
        QList<int> statuses;
        if (opening.isNull()) {
            ReferenceScan(markup, u"href=\"", 0, links, statuses);
            ReferenceScan(markup, u"src=\"", 50, links, statuses);
        } else {
            ReferenceScan(markup, opening, 50, links, statuses);
        }
        const Recorded r = Run(markup, {}, opening);
        QCOMPARE(r.links, links);
        QCOMPARE(r.statuses, statuses);
    }
}

// A scan whose last value closes the markup ends on the status of that value's opening;
// an empty markup has no position, so no status and no check point.
void TestScan::finalStatus()
{
    const QString tail = QString(80, u'x');
    QCOMPARE(Run(tail, {}, u"href=\"").statuses.last(), 100);
    QCOMPARE(Run(tail + u"href=\"abc\""_s, {}, u"href=\"").statuses.last(), 95);
    QCOMPARE(Run(tail + u"src=\"abcd\""_s).statuses.last(), 95);
    QCOMPARE(Run(u"href=\"abcd"_s, {}, u"href=\"").statuses.last(), 55);
    int polls = 0;
    const Recorded empty = Run(QStringView(), [&polls] { return ++polls > 0; });
    QVERIFY(empty.outcome == scan::Outcome::Completed && empty.statuses.isEmpty() && polls == 0);
}

void TestScan::cancel()
{
    const QString markup = u"<a href=\"x\"><img src=\"y\">"_s;
    const Recorded before = Run(markup, [] { return true; });
    QCOMPARE(before.outcome, scan::Outcome::Cancelled);
    QVERIFY(before.links.isEmpty() && before.statuses.isEmpty());

    int polls = 0; // the second look is the one at the start of the src scan
    const Recorded between = Run(markup, [&polls] { return ++polls == 2; });
    QCOMPARE(between.outcome, scan::Outcome::Cancelled);
    QCOMPARE(between.links, QStringList{u"x"_s});
    QCOMPARE(between.statuses.last(), 50);

    // A caller on another thread may cancel mid-scan: the scan stops and keeps what it has.
    QString page;
    for (int i = 0; i < 40000; ++i)
        page += u"<a href=\"l\">"_s;
    polls = 0;
    const Recorded during = Run(page, [&polls] { return ++polls > 1; });
    QCOMPARE(during.outcome, scan::Outcome::Cancelled);
    QVERIFY(during.links.size() > 0 && during.links.size() < 40000);
    // The same for an opening without its quote, which the scan finds another way.
    polls = 0;
    const Recorded unquoted = Run(
        page, [&polls] { return ++polls > 1; }, u"href=");
    QCOMPARE(unquoted.outcome, scan::Outcome::Cancelled);
    QVERIFY(unquoted.links.size() > 0 && unquoted.links.size() < 40000);
}

QTEST_GUILESS_MAIN(TestScan)
#include "tst_scan.moc"
