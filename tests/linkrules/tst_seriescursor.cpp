#include "jobsettings.h"
#include "seriescursor.h"

#include <QTest>

using namespace Qt::StringLiterals;
using linkrules::SeriesCursor;

namespace {

using Kind = SeriesCursor::Step::Kind;

// The walk as text: "|" where a letter's pass begins, a page by its address, "!13" for a
// failure with its code; "..." when it has not ended after `most` steps. Pages are numbered on
// from `position`.
QString Walk(SeriesCursor &cursor, qint64 &position, int most = 200)
{
    QStringList steps;
    for (int i = 0; i < most; ++i) {
        const SeriesCursor::Step step = cursor.Next();
        switch (step.kind) {
        case Kind::Letter:
            steps.append(u"|"_s);
            break;
        case Kind::Page:
            if (step.page.position != position++)
                steps.append(u"position %1?"_s.arg(step.page.position));
            steps.append(cursor.AddressOf(step.page));
            break;
        case Kind::Failure:
            steps.append(u'!' + QString::number(step.code));
            break;
        case Kind::End:
            return steps.join(u' ');
        }
    }
    return steps.join(u' ') + u" ..."_s;
}

} // namespace

class TestSeriesCursor : public QObject
{
    Q_OBJECT

private slots:
    void walk_data();
    void walk();
    void numbersReadAsEachLetterBegins();
};

void TestSeriesCursor::walk_data()
{
    // Fields as "start stop step"; the address "^L^N" names each page by its letter and number.
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("numbers");
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QString>("walk");
    QTest::addColumn<qint64>("count"); // -1: none

    const auto row = [](const char *name, const QString &numbers, const QString &letters,
                        const QString &walk, qint64 count) {
        QTest::newRow(name) << u"^L^N"_s << numbers << letters << walk << count;
    };
    row("one page", u"1 1 1"_s, u"a a 1"_s, u"| a1"_s, 1);
    row("numbers inside letters", u"1 2 1"_s, u"a b 1"_s, u"| a1 a2 | b1 b2"_s, 4);
    row("numbers counting down", u"10 1 -3"_s, u"a a 1"_s, u"| a10 a7 a4 a1"_s, 4);
    row("half number step", u"1 2 0.5"_s, u"a a 1"_s, u"| a1 a1.5 a2"_s, 3);
    // 0.1 added three times is just over 0.3: the loop stops before it.
    row("tenth steps as the loop adds them", u"0 0.3 0.1"_s, u"a a 1"_s, u"| a0 a0.1 a0.2"_s, 3);
    row("first number after the last", u"3 1 1"_s, u"a a 1"_s, u"|"_s, 0);
    row("leading zero", u"01 01 1"_s, u"a a 1"_s, u"| a1"_s, 1);
    row("letters up", u"1 1 1"_s, u"a c 1"_s, u"| a1 | b1 | c1"_s, 3);
    row("capitals", u"1 1 1"_s, u"A C 1"_s, u"| A1 | B1 | C1"_s, 3);
    row("half letter step visits every entry", u"1 1 1"_s, u"a c 0.5"_s,
        u"| a1 | B1 | b1 | C1 | c1"_s, 5);
    row("quarter letter step rounds half to even", u"1 1 1"_s, u"a b 0.25"_s,
        u"| a1 | B1 | B1 | B1 | b1"_s, 5);
    row("letters down", u"1 1 1"_s, u"c a -1"_s, u"| c1 | b1 | a1"_s, 3);
    row("negative quarter step", u"1 1 1"_s, u"B A -0.25"_s, u"| B1 | B1 | a1 | A1 | A1"_s, 5);
    row("a to A goes nowhere", u"1 1 1"_s, u"a A 1"_s, QString(), 0);
    row("start not a letter stands for A", u"1 1 1"_s, u"1 C 1"_s, u"| A1 | B1 | C1"_s, 3);
    row("letter increment not a number", u"1 1 1"_s, u"a c x"_s, u"!13"_s, -1);
    row("stop number not a number, asked at each letter", u"1 z 1"_s, u"a b 1"_s, u"| !13 | !13"_s,
        -1);
    row("zero number step repeats its page", u"5 6 0"_s, u"a a 1"_s,
        u"| a5 a5 a5 a5 a5 a5 a5 a5 ..."_s, -1);
    row("zero letter step repeats its letter", u"1 1 1"_s, u"c z 0"_s, u"| c1 | c1 | c1 | c1 ..."_s,
        -1);
    QTest::newRow("address without surrounding spaces, a tab kept")
        << u"  p^N.htm\t "_s << u"1 1 1"_s << u"a a 1"_s << u"| p1.htm\t"_s << 1LL;
}

void TestSeriesCursor::walk()
{
    QFETCH(QString, address);
    QFETCH(QString, numbers);
    QFETCH(QString, letters);
    QFETCH(QString, walk);
    QFETCH(qint64, count);
    const QStringList n = numbers.split(u' ');
    const QStringList l = letters.split(u' ');
    PlainJobSettings job;
    job.f.address = address;
    job.f.startNum = n[0];
    job.f.stopNum = n[1];
    job.f.incrementNumerically = n[2];
    job.f.startAlpha = l[0];
    job.f.stopAlpha = l[1];
    job.f.incrementAlphabetically = l[2];
    SeriesCursor cursor(job);
    qint64 pages = 0;
    const bool endless = walk.endsWith(u"..."_s);
    const QString walked = Walk(cursor, pages, endless ? static_cast<int>(walk.count(u' ')) : 200);
    QCOMPARE(walked, walk);
    const std::optional<qint64> counted = SeriesCursor::CountOf(job);
    QCOMPARE(counted.value_or(-1), count);
    // A count it gives is the walk's.
    if (counted)
        QCOMPARE(pages, *counted);
}

// A number loop reads its fields afresh each time a letter begins it, and keeps them to its end;
// a copy walks on by itself with the fields as they are when it gets there.
void TestSeriesCursor::numbersReadAsEachLetterBegins()
{
    PlainJobSettings job;
    job.f.address = u"^L^N"_s;
    job.f.stopNum = u"2"_s;
    job.f.stopAlpha = u"c"_s;
    SeriesCursor cursor(job);
    QCOMPARE(cursor.Next().kind, Kind::Letter);
    QCOMPARE(cursor.AddressOf(cursor.Next().page), u"a1"_s);
    job.f.stopNum = u"1"_s;
    SeriesCursor ahead = cursor;
    qint64 position = 1;
    QCOMPARE(Walk(ahead, position), u"a2 | b1 | c1"_s);
    job.f.stopNum = u"3"_s;
    position = 1;
    QCOMPARE(Walk(cursor, position), u"a2 | b1 b2 b3 | c1 c2 c3"_s);
}

QTEST_GUILESS_MAIN(TestSeriesCursor)
#include "tst_seriescursor.moc"
