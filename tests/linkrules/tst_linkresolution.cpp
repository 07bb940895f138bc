#include "linkrules.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestLinkResolution : public QObject
{
    Q_OBJECT

private slots:
    void validFilename();
    void getPath_data();
    void getPath();
    void getPathFailures_data();
    void getPathFailures();
};

void TestLinkResolution::validFilename()
{
    QString table;
    for (const QString &c : linkrules::InvalidChars())
        table += c;
    QCOMPARE(table, u"?\"<>*|:"_s);
    for (QChar c : table)
        QVERIFY(!linkrules::ValidFilename(u"a"_s + c + u"b"_s));
    for (const QString &ok : {QString(), u"x.zip"_s, u"a/b\\c.d"_s, u"htm."_s})
        QVERIFY(linkrules::ValidFilename(ok));
}

void TestLinkResolution::getPath_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("result");
    const QString a = u"http://host/a/b/list^N.htm"_s;
    const auto row = [](const char *tag, const QString &address, const QString &link,
                        const QString &result) { QTest::newRow(tag) << address << link << result; };
    row("absolute ftp", a, u"ftp://other/x.zip"_s, u"ftp://other/x.zip"_s);
    row("absolute keeps &amp;", a, u"http://o/?a=1&amp;b"_s, u"http://o/?a=1&amp;b"_s);
    row("absolute https", a, u"https://o/x"_s, u"https://o/x"_s);
    row("capital scheme is relative", a, u"HTTP://other/x.zip"_s,
        u"http://host/a/b/HTTP://other/x.zip"_s);
    row("other scheme is relative", a, u"mailto:me@host"_s, u"http://host/a/b/mailto:me@host"_s);
    row("relative", a, u"files/x.zip"_s, u"http://host/a/b/files/x.zip"_s);
    row("whole prefix shared", a, u"/a/b/x.zip"_s, u"http://host/a/b/x.zip"_s);
    row("part prefix shared", a, u"/a/c/x.zip"_s, u"http://host/a/b/c/x.zip"_s);
    row("no prefix shared", a, u"/img/x.gif"_s, u"http://host/a/b/img/x.gif"_s);
    row("prefix removed twice", a, u"a/x/a/y.gif"_s, u"http://host/a/b/x/y.gif"_s);
    row("&amp; replaced", a, u"show.asp?id=1&amp;p=2"_s, u"http://host/a/b/show.asp?id=1&p=2"_s);
    row("&AMP; kept", a, u"x?a=1&AMP;b"_s, u"http://host/a/b/x?a=1&AMP;b"_s);
    row("double slash loses one", a, u"//cdn/x.js"_s, u"http://host/a/b//cdn/x.js"_s);
    row("dot segments kept", a, u"../x/./y.htm"_s, u"http://host/a/b/../x/./y.htm"_s);
    row("empty link", a, QString(), u"http://host/a/b/"_s);
    row("query address", u"http://host/vb/scripts/ShowCode.asp?txtCodeId=^N&lngWId=1"_s,
        u"/vb/scripts/ShowZip.asp?lngWId=1&amp;lngCodeId=5"_s,
        u"http://host/vb/scripts/ShowZip.asp?lngWId=1&lngCodeId=5"_s);
    row("slash in the address query", u"http://host/p.asp?x=a/b"_s, u"y.htm"_s,
        u"http://host/p.asp?x=a/y.htm"_s);
    row("no directories", u"http://host/list^N.htm"_s, u"x.zip"_s, u"http://host/x.zip"_s);
    row("host only", u"http://host"_s, u"x.zip"_s, u"http://host/x.zip"_s);
    row("wildcard directory copied", u"http://host/^N/page.htm"_s, u"x.zip"_s,
        u"http://host/^N/x.zip"_s);
    row("address untrimmed", u" http://host/d/p.htm"_s, u"x"_s, u" http://host/d/x"_s);
}

void TestLinkResolution::getPath()
{
    QFETCH(QString, address);
    QFETCH(QString, link);
    QFETCH(QString, result);
    QCOMPARE(linkrules::GetPath(link, address), result);
}

void TestLinkResolution::getPathFailures_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("code");
    QTest::newRow("no slash") << u"host"_s << 9;
    QTest::newRow("one slash") << u"http:/host"_s << 9;
    QTest::newRow("empty") << QString() << 9;
    QTest::newRow("over-long directories")
        << (u"http://h/"_s + QString(32767, u'd') + u"/p"_s) << 6;
}

void TestLinkResolution::getPathFailures()
{
    QFETCH(QString, address);
    QFETCH(int, code);
    QCOMPARE(linkrules::GetPath(u"http://abs/x"_s, address), u"http://abs/x"_s);
    try {
        linkrules::GetPath(u"x.zip"_s, address);
        QFAIL("the link resolved");
    } catch (const linkrules::RuleError &error) {
        QCOMPARE(error.Code(), code);
        if (code == 9)
            QCOMPARE(error.Description(), u"Subscript out of range"_s);
    }
}

QTEST_GUILESS_MAIN(TestLinkResolution)
#include "tst_linkresolution.moc"
