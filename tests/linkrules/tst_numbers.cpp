#include "numbers.h"

#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

class TestNumbers : public QObject
{
    Q_OBJECT

private slots:
    void toNumber_data();
    void toNumber();
    void roundHalfEven_data();
    void roundHalfEven();
    void toInt32_data();
    void toInt32();
    void toText_data();
    void toText();
    void countingLoop_data();
    void countingLoop();
};

void TestNumbers::toNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");

    QTest::newRow("blanks around") << u" 2.5 "_s << true << 2.5;
    QTest::newRow("negative") << u"-1"_s << true << -1.0;
    QTest::newRow("plus sign") << u"+4"_s << true << 4.0;
    QTest::newRow("exponent") << u"1e3"_s << true << 1000.0;
    QTest::newRow("leading dot") << u".5"_s << true << 0.5;
    QTest::newRow("trailing dot") << u"5."_s << true << 5.0;
    QTest::newRow("tab and newline") << u"\t7\n"_s << true << 7.0;
    QTest::newRow("empty") << QString() << false << 0.0;
    QTest::newRow("only blanks") << u"   "_s << false << 0.0;
    QTest::newRow("letters") << u"abc"_s << false << 0.0;
    QTest::newRow("decimal comma") << u"1,5"_s << false << 0.0;
    QTest::newRow("hexadecimal") << u"0x10"_s << false << 0.0;
    QTest::newRow("two dots") << u"1.2.3"_s << false << 0.0;
    QTest::newRow("inf") << u"inf"_s << false << 0.0;
    QTest::newRow("nan") << u"nan"_s << false << 0.0;
    QTest::newRow("number then text") << u"12abc"_s << false << 0.0;
    QTest::newRow("inner blank") << u"1 2"_s << false << 0.0;
    QTest::newRow("lone sign") << u"-"_s << false << 0.0;
    QTest::newRow("lone dot") << u"."_s << false << 0.0;
    QTest::newRow("exponent overflow") << u"1e999"_s << false << 0.0;
    QTest::newRow("arabic digits") << u"\u0661"_s << false << 0.0;
}

void TestNumbers::toNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    const auto result = numbers::ToNumber(text);
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(*result, value);
}

void TestNumbers::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("rounded");
    QTest::newRow("1.5") << 1.5 << 2.0;
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("3.5") << 3.5 << 4.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("-1.5") << -1.5 << -2.0;
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("2.4999") << 2.4999 << 2.0;
    QTest::newRow("2.5001") << 2.5001 << 3.0;
}

void TestNumbers::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(double, rounded);
    QCOMPARE(numbers::RoundHalfEven(value), rounded);
}

void TestNumbers::toInt32_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("value");
    QTest::newRow("half to even") << u"2.5"_s << true << 2;
    QTest::newRow("largest") << u"2147483647"_s << true << 2147483647;
    QTest::newRow("largest plus a fraction") << u"2147483647.4"_s << true << 2147483647;
    QTest::newRow("one beyond") << u"2147483648"_s << false << 0;
    QTest::newRow("smallest") << u"-2147483648"_s << true << std::numeric_limits<int>::min();
    QTest::newRow("one below") << u"-2147483649"_s << false << 0;
    QTest::newRow("huge") << u"1e300"_s << false << 0;
    QTest::newRow("not a number") << u"abc"_s << false << 0;
}

void TestNumbers::toInt32()
{
    QFETCH(QString, text);
    QFETCH(bool, fits);
    QFETCH(int, value);
    const auto result = numbers::TextToInt32(text);
    QCOMPARE(result.has_value(), fits);
    if (fits)
        QCOMPARE(*result, value);
}

void TestNumbers::toText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 7.0 << u"7"_s;
    QTest::newRow("fraction") << 1.5 << u"1.5"_s;
    QTest::newRow("sum of tenths") << 0.1 + 0.2 << u"0.3"_s;
    QTest::newRow("negative zero") << -0.0 << u"0"_s;
    QTest::newRow("negative fraction") << -2.5 << u"-2.5"_s;
    QTest::newRow("large, no exponent") << 1e20 << u"100000000000000000000"_s;
    QTest::newRow("small, no exponent") << 0.000001 << u"0.000001"_s;
    QTest::newRow("fifteen digits") << 123456789012345678.0 << u"123456789012346000"_s;
    QTest::newRow("tiny negative") << -1e-20 << u"-0.00000000000000000001"_s;
}

void TestNumbers::toText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(numbers::ToText(value), text);
}

void TestNumbers::countingLoop_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<double>("step");
    QTest::addColumn<QList<double>>("values");
    QTest::newRow("up") << 1.0 << 3.0 << 1.0 << QList<double>{1, 2, 3};
    QTest::newRow("down") << 3.0 << 1.0 << -1.0 << QList<double>{3, 2, 1};
    QTest::newRow("start beyond end") << 5.0 << 1.0 << 1.0 << QList<double>{};
    QTest::newRow("fractional step stops before passing") << 1.0 << 2.0 << 0.4
                                                          << QList<double>{1, 1.4, 1.8};
    QTest::newRow("zero step repeats") << 1.0 << 1.0 << 0.0 << QList<double>{1, 1, 1, 1};
}

void TestNumbers::countingLoop()
{
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(double, step);
    QFETCH(QList<double>, values);
    QList<double> seen;
    for (numbers::CountingLoop loop(start, end, step); loop.running() && seen.size() < 4;
         loop.advance())
        seen.append(loop.value());
    QCOMPARE(seen.size(), values.size());
    for (qsizetype i = 0; i < seen.size(); ++i)
        QCOMPARE(seen[i], values[i]);
}

QTEST_GUILESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
