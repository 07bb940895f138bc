#include "numbers.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestNumbers : public QObject
{
    Q_OBJECT

private slots:
    void toNumber_data();
    void toNumber();
    void roundHalfEven();
    void toInt32_data();
    void toInt32();
    void toText_data();
    void toText();
};

void TestNumbers::toNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    QTest::newRow("blanks around") << u" 2.5 "_s << true << 2.5;
    QTest::newRow("negative") << u"-1"_s << true << -1.0;
    QTest::newRow("exponent") << u"1e3"_s << true << 1000.0;
    QTest::newRow("leading dot") << u".5"_s << true << 0.5;
    QTest::newRow("trailing dot") << u"5."_s << true << 5.0;
    for (const char *bad : {"", "   ", "abc", "1,5", "0x10", "1.2.3", "inf", "nan", "12abc", "1 2",
                            "-", ".", "1e999", "\u0661"})
        QTest::addRow("rejects '%s'", bad) << QString::fromUtf8(bad) << false << 0.0;
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

void TestNumbers::roundHalfEven()
{
    const std::pair<double, double> cases[] = {{1.5, 2},   {2.5, 2}, {3.5, 4},   {-2.5, -2},
                                               {-1.5, -2}, {0.5, 0}, {2.5001, 3}};
    for (const auto &[value, rounded] : cases)
        QCOMPARE(numbers::RoundHalfEven(value), rounded);
}

void TestNumbers::toInt32_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("value");
    QTest::newRow("half to even") << u"2.5"_s << true << 2;
    QTest::newRow("largest plus a fraction") << u"2147483647.4"_s << true << 2147483647;
    QTest::newRow("one beyond") << u"2147483648"_s << false << 0;
    QTest::newRow("smallest") << u"-2147483648"_s << true << static_cast<int>(-2147483648LL);
    QTest::newRow("one below") << u"-2147483649"_s << false << 0;
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
    QTest::newRow("large, no exponent") << 1e20 << u"100000000000000000000"_s;
    QTest::newRow("small, no exponent") << 0.000001 << u"0.000001"_s;
    QTest::newRow("fifteen digits") << 123456789012345678.0 << u"123456789012346000"_s;
}

void TestNumbers::toText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(numbers::ToText(value), text);
}

QTEST_GUILESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
