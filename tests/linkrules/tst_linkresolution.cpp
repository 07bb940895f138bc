#include "linkrules.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestLinkResolution : public QObject
{
    Q_OBJECT

private slots:
    void invalidChars();
    void validFilename_data();
    void validFilename();
    void getPath_data();
    void getPath();
    void getPathWithoutHost_data();
    void getPathWithoutHost();
    void longDirectoryPrefixOverflows();
};

void TestLinkResolution::invalidChars()
{
    const auto &table = linkrules::InvalidChars();
    const QString expected = u"?\"<>*|:"_s;
    for (std::size_t i = 0; i < table.size(); ++i)
        QCOMPARE(table[i], QString(expected[static_cast<qsizetype>(i)]));
}

void TestLinkResolution::validFilename_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("plain") << u"x.zip"_s << true;
    QTest::newRow("slashes and dots pass") << u"a/b\\c.d"_s << true;
    QTest::newRow("trailing dot") << u"htm."_s << true;
    const QString invalid = u"?\"<>*|:"_s;
    for (QChar c : invalid)
        QTest::addRow("holds %c", c.toLatin1()) << (u"a"_s + c + u"b"_s) << false;
    QTest::newRow("only an invalid char at the end") << u"files/x.zip?"_s << false;
}

void TestLinkResolution::validFilename()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(linkrules::ValidFilename(text), valid);
}

void TestLinkResolution::getPath_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("result");

    const QString list = u"http://host/a/b/list^N.htm"_s;
    QTest::newRow("absolute ftp") << list << u"ftp://other/x.zip"_s << u"ftp://other/x.zip"_s;
    QTest::newRow("absolute http keeps &amp;")
        << list << u"http://other/?a=1&amp;b=2"_s << u"http://other/?a=1&amp;b=2"_s;
    QTest::newRow("absolute https") << list << u"https://o/x"_s << u"https://o/x"_s;
    QTest::newRow("capital scheme is relative")
        << list << u"HTTP://other/x.zip"_s << u"http://host/a/b/HTTP://other/x.zip"_s;
    QTest::newRow("other scheme is relative")
        << list << u"mailto:me@host"_s << u"http://host/a/b/mailto:me@host"_s;
    QTest::newRow("relative") << list << u"files/x.zip"_s << u"http://host/a/b/files/x.zip"_s;
    QTest::newRow("whole prefix shared") << list << u"/a/b/x.zip"_s << u"http://host/a/b/x.zip"_s;
    QTest::newRow("part prefix shared") << list << u"/a/c/x.zip"_s << u"http://host/a/b/c/x.zip"_s;
    QTest::newRow("no prefix shared") << list << u"/img/x.gif"_s << u"http://host/a/b/img/x.gif"_s;
    QTest::newRow("prefix removed twice") << list << u"a/x/a/y.gif"_s << u"http://host/a/b/x/y.gif"_s;
    QTest::newRow("&amp; replaced")
        << list << u"show.asp?id=1&amp;p=2"_s << u"http://host/a/b/show.asp?id=1&p=2"_s;
    QTest::newRow("double slash loses one")
        << list << u"//cdn/x.js"_s << u"http://host/a/b//cdn/x.js"_s;
    QTest::newRow("dot segments kept")
        << list << u"../x/./y.htm"_s << u"http://host/a/b/../x/./y.htm"_s;
    QTest::newRow("&AMP; is not replaced")
        << list << u"x?a=1&AMP;b"_s << u"http://host/a/b/x?a=1&AMP;b"_s;
    QTest::newRow("query address")
        << u"http://host/vb/scripts/ShowCode.asp?txtCodeId=^N&lngWId=1"_s
        << u"/vb/scripts/ShowZip.asp?lngWId=1&amp;lngCodeId=5"_s
        << u"http://host/vb/scripts/ShowZip.asp?lngWId=1&lngCodeId=5"_s;
    QTest::newRow("slash inside the address query is a separator")
        << u"http://host/p.asp?x=a/b"_s << u"y.htm"_s << u"http://host/p.asp?x=a/y.htm"_s;
    QTest::newRow("no directories") << u"http://host/list^N.htm"_s << u"x.zip"_s
                                    << u"http://host/x.zip"_s;
    QTest::newRow("host only") << u"http://host"_s << u"x.zip"_s << u"http://host/x.zip"_s;
    QTest::newRow("wildcard in a directory copied literally")
        << u"http://host/^N/page.htm"_s << u"x.zip"_s << u"http://host/^N/x.zip"_s;
    QTest::newRow("address used untrimmed")
        << u" http://host/d/p.htm"_s << u"x"_s << u" http://host/d/x"_s;
    QTest::newRow("empty link") << list << QString() << u"http://host/a/b/"_s;
}

void TestLinkResolution::getPath()
{
    QFETCH(QString, address);
    QFETCH(QString, link);
    QFETCH(QString, result);
    QCOMPARE(linkrules::GetPath(link, address), result);
}

void TestLinkResolution::getPathWithoutHost_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("no slash") << u"host"_s;
    QTest::newRow("one slash") << u"http:/host"_s;
    QTest::newRow("empty") << QString();
}

void TestLinkResolution::getPathWithoutHost()
{
    QFETCH(QString, address);
    QCOMPARE(linkrules::GetPath(u"http://abs/x"_s, address), u"http://abs/x"_s);
    try {
        linkrules::GetPath(u"x.zip"_s, address);
        QFAIL("a relative link without a host part resolved");
    } catch (const linkrules::RuleError &error) {
        QCOMPARE(error.code(), 9);
        QCOMPARE(error.description(), u"Subscript out of range"_s);
    }
}

void TestLinkResolution::longDirectoryPrefixOverflows()
{
    const QString address = u"http://host/"_s + QString(32767, u'd') + u"/page.htm"_s;
    QCOMPARE(linkrules::GetPath(u"ftp://x/y"_s, address), u"ftp://x/y"_s);
    try {
        linkrules::GetPath(u"x.zip"_s, address);
        QFAIL("an over-long directory prefix was accepted");
    } catch (const linkrules::RuleError &error) {
        QCOMPARE(error.code(), 6);
    }
}

QTEST_GUILESS_MAIN(TestLinkResolution)
#include "tst_linkresolution.moc"
