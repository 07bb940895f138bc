#include "browseridentity.h"

#include <QNetworkCookie>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

// Which requests a cookie goes with: a page ahead that a changed cookie would reach is loaded
// again in its turn, one it would not is kept.
class TestCookieScope : public QObject
{
    Q_OBJECT

private slots:
    void wouldCarry_data();
    void wouldCarry();
};

void TestCookieScope::wouldCarry_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("carried");
    const QString page = u"http://www.example.com/list/p1.htm"_s;
    QTest::newRow("host only, its host") << u"www.example.com"_s << u"/"_s << page << true;
    QTest::newRow("host only, not its subdomain") << u"example.com"_s << u"/"_s << page << false;
    QTest::newRow("domain case is no matter") << u"WWW.Example.com"_s << u"/"_s << page << true;
    QTest::newRow("leading dot, a subdomain") << u".example.com"_s << u"/"_s << page << true;
    QTest::newRow("leading dot, the domain itself")
        << u".example.com"_s << u"/"_s << u"http://example.com/p1.htm"_s << true;
    QTest::newRow("leading dot, a name that only ends alike")
        << u".example.com"_s << u"/"_s << u"http://badexample.com/p1.htm"_s << false;
    QTest::newRow("leading dot, another domain") << u".example.org"_s << u"/"_s << page << false;
    QTest::newRow("no domain: unsure, carried") << QString() << u"/"_s << page << true;
    QTest::newRow("path, its page") << u"www.example.com"_s << u"/list"_s << page << true;
    QTest::newRow("path, the folder itself")
        << u"www.example.com"_s << u"/list"_s << u"http://www.example.com/list"_s << true;
    QTest::newRow("path ending in a slash") << u"www.example.com"_s << u"/list/"_s << page << true;
    QTest::newRow("path, a name that only begins alike")
        << u"www.example.com"_s << u"/li"_s << page << false;
    QTest::newRow("path, another folder") << u"www.example.com"_s << u"/other"_s << page << false;
}

void TestCookieScope::wouldCarry()
{
    QFETCH(QString, domain);
    QFETCH(QString, path);
    QFETCH(QString, address);
    QFETCH(bool, carried);
    QNetworkCookie cookie("name", "value");
    cookie.setDomain(domain);
    cookie.setPath(path);
    QCOMPARE(WouldCarry(cookie, QUrl(address)), carried);
}

QTEST_GUILESS_MAIN(TestCookieScope)
#include "tst_cookiescope.moc"
