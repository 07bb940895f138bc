#include "linkrules.h"

#include <QTest>

using namespace Qt::StringLiterals;

using Positions = std::vector<int>;

class TestLetters : public QObject
{
    Q_OBJECT

private slots:
    void table();
    void getAsc_data();
    void getAsc();
    void positions_data();
    void positions();
    void zeroStepIsBounded();
};

void TestLetters::table()
{
    const auto &letters = linkrules::Letters();
    QCOMPARE(letters[0], u"A"_s);
    QCOMPARE(letters[1], u"a"_s);
    QCOMPARE(letters[2], u"B"_s);
    QCOMPARE(letters[50], u"Z"_s);
    QCOMPARE(letters[51], u"z"_s);
    for (std::size_t i = 0; i < letters.size(); ++i)
        QCOMPARE(letters[i].size(), 1);
}

void TestLetters::getAsc_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position"); // -1: not in the table
    QTest::newRow("A") << u"A"_s << 0;
    QTest::newRow("a") << u"a"_s << 1;
    QTest::newRow("Z") << u"Z"_s << 50;
    QTest::newRow("z") << u"z"_s << 51;
    QTest::newRow("m") << u"m"_s << 25;
    QTest::newRow("empty") << QString() << -1;
    QTest::newRow("two letters") << u"aa"_s << -1;
    QTest::newRow("letter and blank") << u"a "_s << -1;
    QTest::newRow("digit") << u"1"_s << -1;
    QTest::newRow("accented") << u"\u00e9"_s << -1;
}

void TestLetters::getAsc()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QCOMPARE(linkrules::GetAsc(text).value_or(-1), position);
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
    QTest::newRow("start not in the table") << u"1"_s << u"c"_s << 1.0 << Positions{0, 2, 4} << u"ABC"_s;
    QTest::newRow("a to A goes nowhere") << u"a"_s << u"A"_s << 1.0 << Positions{} << QString();
    QTest::newRow("quarter step rounds half to even")
        << u"a"_s << u"b"_s << 0.25 << Positions{1, 2, 2, 2, 3} << u"aBBBb"_s;
    QTest::newRow("negative step with start below stop") << u"a"_s << u"c"_s << -1.0 << Positions{} << QString();
    QTest::newRow("negative fractional step")
        << u"B"_s << u"A"_s << -0.25 << Positions{2, 2, 1, 0, 0} << u"BBaAA"_s;
    QTest::newRow("stop not in the table") << u"B"_s << u"?"_s << -1.0 << Positions{2, 0} << u"BA"_s;
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

void TestLetters::zeroStepIsBounded()
{
    const Positions got = linkrules::LetterPositions(u"c"_s, u"z"_s, 0, 5);
    QCOMPARE(got, (Positions{5, 5, 5, 5, 5}));
    QVERIFY(linkrules::LetterPositions(u"z"_s, u"c"_s, 0, 5).empty());
}

QTEST_GUILESS_MAIN(TestLetters)
#include "tst_letters.moc"
