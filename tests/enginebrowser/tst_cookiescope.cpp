#include "browseridentity.h"
#include "webbrowser.h"
#include "webpagebrowser.h"

#include <QNetworkCookie>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

// Which requests a cookie goes with, and which changes count: a page ahead that a changed cookie
// would reach is loaded again in its turn, one it would not is kept; the next page's downloads
// started before any change of the cookies are started again in its turn.
class TestCookieScope : public QObject
{
    Q_OBJECT

private slots:
    void wouldCarry_data();
    void wouldCarry();
    void everyChangeCounts();
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

// A cookie a download hands to the browser counts at once; the store's own reports count as each
// change comes back, the removal of a cookie and its return included.
void TestCookieScope::everyChangeCounts()
{
    WebBrowser browser;
    WebPageBrowser pages(browser);
    // The store reports once the engine runs.
    QSignalSpy loaded(&browser, &WebBrowser::DownloadComplete);
    browser.Navigate(u"about:blank"_s);
    QVERIFY(loaded.wait(20000));
    QWebEngineCookieStore *store = browser.View()->page()->profile()->cookieStore();
    QNetworkCookie cookie("count", "1");
    cookie.setDomain(u"127.0.0.1"_s);
    cookie.setPath(u"/"_s);
    const QUrl origin(u"http://127.0.0.1/"_s);
    const quint64 start = pages.CookieChanges();
    pages.CookieHandedToStore(cookie);
    QCOMPARE(pages.CookieChanges(), start + 1);
    store->setCookie(cookie, origin);
    QTRY_COMPARE(pages.CookieChanges(), start + 2);
    store->deleteCookie(cookie, origin);
    QTRY_COMPARE(pages.CookieChanges(), start + 3);
    store->setCookie(cookie, origin);
    QTRY_COMPARE(pages.CookieChanges(), start + 4);
}

QTEST_MAIN(TestCookieScope)
#include "tst_cookiescope.moc"
