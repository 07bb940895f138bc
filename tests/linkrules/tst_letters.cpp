#include "linkrules.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Positions = std::vector<int>;

class TestLetters : public QObject
{
    Q_OBJECT

private slots:
    void getAsc();
    void positions_data();
    void positions();
};

void TestLetters::getAsc()
{
    const std::pair<QString, int> cases[] = {{u"A"_s, 0},  {u"a"_s, 1},  {u"B"_s, 2},
                                             {u"m"_s, 25}, {u"Z"_s, 50}, {u"z"_s, 51}};
    for (const auto &[text, position] : cases) {
        QCOMPARE(linkrules::GetAsc(text).value_or(-1), position);
        QCOMPARE(linkrules::Letters().at(static_cast<std::size_t>(position)), text);
    }
    for (const QString &absent : {QString(), u"aa"_s, u"a "_s, u"1"_s, u"\u00e9"_s})
        QVERIFY(!linkrules::GetAsc(absent));
}

void TestLetters::positions_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<double>("increment");
    QTest::addColumn<Positions>("positions");
    QTest::addColumn<QString>("letters");
    QTest::newRow("a to c") << u"a"_s << u"c"_s << 1.0 << Positions{1, 3, 5} << u"abc"_s;
    QTest::newRow("A to C") << u"A"_s << u"C"_s << 1.0 << Positions{0, 2, 4} << u"ABC"_s;
    QTest::newRow("A to c") << u"A"_s << u"c"_s << 1.0 << Positions{0, 2, 4} << u"ABC"_s;
    QTest::newRow("a to C") << u"a"_s << u"C"_s << 1.0 << Positions{1, 3} << u"ab"_s;
    QTest::newRow("c down to a") << u"c"_s << u"a"_s << -1.0 << Positions{5, 3, 1} << u"cba"_s;
    QTest::newRow("x to z by 2") << u"x"_s << u"z"_s << 2.0 << Positions{47, 51} << u"xz"_s;
    QTest::newRow("half step") << u"a"_s << u"c"_s << 0.5 << Positions{1, 2, 3, 4, 5} << u"aBbCc"_s;
    QTest::newRow("start not in the table")
        << u"1"_s << u"c"_s << 1.0 << Positions{0, 2, 4} << u"ABC"_s;
    QTest::newRow("a to A goes nowhere") << u"a"_s << u"A"_s << 1.0 << Positions{} << QString();
    QTest::newRow("quarter step") << u"a"_s << u"b"_s << 0.25 << Positions{1, 2, 2, 2, 3}
                                  << u"aBBBb"_s;
    QTest::newRow("negative step, start below")
        << u"a"_s << u"c"_s << -1.0 << Positions{} << QString();
    QTest::newRow("negative quarter step")
        << u"B"_s << u"A"_s << -0.25 << Positions{2, 2, 1, 0, 0} << u"BBaAA"_s;
    QTest::newRow("zero step stops at the bound")
        << u"c"_s << u"z"_s << 0.0 << Positions(1000, 5) << QString(1000, u'c');
    QTest::newRow("zero step, start beyond") << u"z"_s << u"c"_s << 0.0 << Positions{} << QString();
}

void TestLetters::positions()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(double, increment);
    QFETCH(Positions, positions);
    QFETCH(QString, letters);
    const Positions got = linkrules::LetterPositions(start, stop, increment);
    QCOMPARE(got, positions);
    QString series;
    for (int p : got)
        series += linkrules::Letters().at(static_cast<std::size_t>(p));
    QCOMPARE(series, letters);
}

QTEST_GUILESS_MAIN(TestLetters)
#include "tst_letters.moc"
