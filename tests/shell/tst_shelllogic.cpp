#include "makerinfo.h"
#include "shelllogic.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestShellLogic : public QObject
{
    Q_OBJECT
private slots:
    void validAmount_data();
    void validAmount();
    void paymentAddress_data();
    void paymentAddress();
    void feedbackAddress();
    void closeAddress_data();
    void closeAddress();
};

void TestShellLogic::validAmount_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<bool>("valid");
    QTest::newRow("whole") << u"5"_s << true;
    QTest::newRow("cents") << u"5.00"_s << true;
    QTest::newRow("leading point") << u".5"_s << true;
    QTest::newRow("trailing point") << u"5."_s << true;
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("lone point") << u"."_s << true;
    QTest::newRow("second point") << u"5.0.0"_s << false;
    QTest::newRow("dollar sign") << u"$5"_s << false;
    QTest::newRow("comma") << u"5,00"_s << false;
    QTest::newRow("letters") << u"abc"_s << false;
    QTest::newRow("trailing space") << u"5 "_s << false;
    QTest::newRow("inner space") << u"5 00"_s << false;
    QTest::newRow("sign") << u"-5"_s << false;
    QTest::newRow("arabic-indic digit") << u"\u0665"_s << false;
}

void TestShellLogic::validAmount()
{
    QFETCH(QString, amount);
    QFETCH(bool, valid);
    QCOMPARE(ShellLogic::ValidAmount(amount), valid);
}

void TestShellLogic::paymentAddress_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("expected");
    const QString head = u"https://www.paypal.com/xclick/business=donate@example.com"
                         u"&item_name=Linkhauler(1.0.0)-donation&amount=$"_s;
    QTest::newRow("cents") << u"5.00"_s << head + u"5.00"_s;
    QTest::newRow("empty amount") << QString() << head;
    QTest::newRow("lone point") << u"."_s << head + u"."_s;
}

void TestShellLogic::paymentAddress()
{
    QFETCH(QString, amount);
    QFETCH(QString, expected);
    QCOMPARE(ShellLogic::PaymentAddress(MakerInfo::PayPalSecureBase(), MakerInfo::PayPalAccount(),
                                        MakerInfo::AppTitle(), MakerInfo::AppVersion(), amount),
             expected);
}

void TestShellLogic::feedbackAddress()
{
    QCOMPARE(
        ShellLogic::FeedbackAddress(MakerInfo::FeedbackPage(), MakerInfo::AppTitle(),
                                    MakerInfo::AppVersion()),
        u"http://www.example.com/linkhauler/feedback1.asp?txtAppTitle=Linkhauler&txtVersion=1.0.0"_s);
}

void TestShellLogic::closeAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("closes");
    QTest::newRow("query") << u"http://h/feedback2.asp?Close"_s << true;
    QTest::newRow("fragment") << u"http://h/thanks.htm#Close"_s << true;
    QTest::newRow("bare word") << u"Close"_s << true;
    QTest::newRow("longer word") << u"http://h/?WindowClose"_s << true;
    QTest::newRow("lower case") << u"http://h/close"_s << false;
    QTest::newRow("upper case") << u"http://h/CLOSE"_s << false;
    QTest::newRow("not at the end") << u"http://h/Close/"_s << false;
    QTest::newRow("short") << u"lose"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TestShellLogic::closeAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, closes);
    QCOMPARE(ShellLogic::IsCloseAddress(address), closes);
}

QTEST_APPLESS_MAIN(TestShellLogic)
#include "tst_shelllogic.moc"
