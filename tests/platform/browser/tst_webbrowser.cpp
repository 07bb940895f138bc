#include "testhttpserver.h"
#include "webbrowser.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

class tst_WebBrowser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loadsPageAndReportsLocation();
    void outerHtmlIncludesScriptWrittenLink();
    void failedLoadStillRaisesDownloadComplete();
    void anchorNavigationRaisesDownloadComplete_data();
    void anchorNavigationRaisesDownloadComplete();
    void leavingAPageThatMovesItsAddress_data();
    void leavingAPageThatMovesItsAddress();
    void leavingAPageStillLoading();

private:
    QString writePage(const QString &name, const QByteArray &content);

    QTemporaryDir m_dir;
};

static constexpr int kWaitMs = 20000;

void tst_WebBrowser::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString tst_WebBrowser::writePage(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return {};
    return QUrl::fromLocalFile(path).toString();
}

void tst_WebBrowser::loadsPageAndReportsLocation()
{
    const QString url = writePage(QStringLiteral("plain.htm"),
                                  "<html><body><p>plain</p></body></html>");
    QVERIFY(!url.isEmpty());

    WebBrowser browser;
    QSignalSpy downloads(&browser, &WebBrowser::DownloadComplete);
    QSignalSpy documents(&browser, &WebBrowser::DocumentComplete);
    browser.Navigate(url);
    QVERIFY(downloads.wait(kWaitMs));
    QVERIFY(browser.LastLoadOk());
    QCOMPARE(browser.LocationURL(), url);
    QTRY_COMPARE_WITH_TIMEOUT(documents.count(), 1, kWaitMs);
    QCOMPARE(documents.at(0).at(0).toString(), url);

    // A round trip to the page lets any stray notification arrive: one load, one signal.
    bool answered = false;
    browser.RequestOuterHtml([&](bool, const QString &) { answered = true; });
    QTRY_VERIFY_WITH_TIMEOUT(answered, kWaitMs);
    QCOMPARE(downloads.count(), 1);

    // A second page, from a browser that already shows one.
    const QString second = writePage(QStringLiteral("second.htm"), "<html><body>2</body></html>");
    downloads.clear();
    browser.Navigate(second);
    QVERIFY(downloads.wait(kWaitMs));
    QCOMPARE(browser.LocationURL(), second);
    answered = false;
    browser.RequestOuterHtml([&](bool, const QString &) { answered = true; });
    QTRY_VERIFY_WITH_TIMEOUT(answered, kWaitMs);
    QCOMPARE(downloads.count(), 1);
}

void tst_WebBrowser::outerHtmlIncludesScriptWrittenLink()
{
    const QString url = writePage(
        QStringLiteral("scripted.htm"),
        "<html><head><script>"
        "document.addEventListener('DOMContentLoaded', function () {"
        "  var a = document.createElement('a'); a.href = 'late.htm'; a.textContent = 'late';"
        "  document.body.appendChild(a); });"
        "</script></head><body><a href=\"early.htm\">early</a></body></html>");
    QVERIFY(!url.isEmpty());

    WebBrowser browser;
    QSignalSpy downloads(&browser, &WebBrowser::DownloadComplete);
    browser.Navigate(url);
    QVERIFY(downloads.wait(kWaitMs));
    QVERIFY(browser.LastLoadOk());

    bool answered = false;
    bool ok = false;
    QString markup;
    browser.RequestOuterHtml([&](bool success, const QString &text) {
        answered = true;
        ok = success;
        markup = text;
    });
    QTRY_VERIFY_WITH_TIMEOUT(answered, kWaitMs);
    QVERIFY(ok);
    QVERIFY2(markup.startsWith(QStringLiteral("<html")), qPrintable(markup));
    QVERIFY2(markup.contains(QStringLiteral("href=\"early.htm\"")), qPrintable(markup));
    QVERIFY2(markup.contains(QStringLiteral("href=\"late.htm\"")), qPrintable(markup));
}

void tst_WebBrowser::failedLoadStillRaisesDownloadComplete()
{
    const QString missing =
        QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("missing.htm"))).toString();

    WebBrowser browser;
    QSignalSpy downloads(&browser, &WebBrowser::DownloadComplete);
    QSignalSpy documents(&browser, &WebBrowser::DocumentComplete);
    browser.Navigate(missing);
    QVERIFY(downloads.wait(kWaitMs));
    QCOMPARE(downloads.count(), 1);
    QVERIFY(!browser.LastLoadOk());
    bool answered = false;
    browser.RequestOuterHtml([&](bool, const QString &) { answered = true; });
    QTRY_VERIFY_WITH_TIMEOUT(answered, kWaitMs);
    QCOMPARE(downloads.count(), 1);
    QVERIFY(!browser.LastLoadOk());
    QCOMPARE(documents.count(), 0);
}

void tst_WebBrowser::anchorNavigationRaisesDownloadComplete_data()
{
    QTest::addColumn<bool>("byNavigate");
    QTest::newRow("anchor clicked") << false;
    QTest::newRow("fragment navigated to") << true;
}

void tst_WebBrowser::anchorNavigationRaisesDownloadComplete()
{
    QFETCH(bool, byNavigate);
    const QString url = writePage(
        QStringLiteral("anchors.htm"),
        "<html><body><a id=\"go\" href=\"#CloseWindow\">close</a></body></html>");
    QVERIFY(!url.isEmpty());

    WebBrowser browser;
    QSignalSpy downloads(&browser, &WebBrowser::DownloadComplete);
    browser.Navigate(url);
    QVERIFY(downloads.wait(kWaitMs));
    downloads.clear();
    if (byNavigate)
        browser.Navigate(url + QStringLiteral("#CloseWindow"));
    else
        browser.View()->page()->runJavaScript(
            QStringLiteral("document.getElementById('go').click();"));
    QTRY_VERIFY_WITH_TIMEOUT(downloads.count() > 0, kWaitMs);
    QVERIFY(browser.LastLoadOk());
    QCOMPARE(browser.LocationURL(), url + QStringLiteral("#CloseWindow"));
}

void tst_WebBrowser::leavingAPageThatMovesItsAddress_data()
{
    QTest::addColumn<QByteArray>("move");
    QTest::newRow("history entry")
        << QByteArray("history.pushState(null, '', 'moving.htm?n=' + n);");
    QTest::newRow("fragment") << QByteArray("location.hash = 'n' + n;");
}

// A script of the page being left changes its address on a timer: those changes are
// same-document navigations of the old page and must not pass for the end of the
// navigation that was asked for.
void tst_WebBrowser::leavingAPageThatMovesItsAddress()
{
    QFETCH(QByteArray, move);
    constexpr int kMoveMs = 30;
    TestHttpServer server;
    server.addPage(QStringLiteral("/moving.htm"),
                   "<html><body>moving<script>var n = 0; setInterval(function () { ++n; " + move
                       + " }, " + QByteArray::number(kMoveMs) + ");</script></body></html>");
    server.addPage(QStringLiteral("/next.htm"), "<html><body>next</body></html>");
    QVERIFY(server.start());
    const QString next = server.url(QStringLiteral("/next.htm"));

    WebBrowser browser;
    browser.resize(400, 300);
    browser.show(); // a hidden page's timers are throttled to one a second
    QSignalSpy downloads(&browser, &WebBrowser::DownloadComplete);
    const QString moving = server.url(QStringLiteral("/moving.htm"));
    browser.Navigate(moving);
    QVERIFY(downloads.wait(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(browser.LocationURL() != moving, kWaitMs); // the timer runs

    // Every load that finishes, with the address it finished at.
    QList<QPair<bool, QString>> finished;
    connect(&browser, &WebBrowser::DownloadComplete, this, [&] {
        finished.append({browser.LastLoadOk(), browser.LocationURL()});
    });
    // Held up like a busy window, the event loop finds the page's next address changes
    // queued ahead of the new load's first notice once it runs again.
    QThread::msleep(4 * kMoveMs);
    browser.Navigate(next);
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty() && finished.last().first, kWaitMs);
    const auto firstOk = std::find_if(finished.cbegin(), finished.cend(),
                                      [](const QPair<bool, QString> &f) { return f.first; });
    QCOMPARE(firstOk->second, next);
}

// The page left ends its load (its image is in) just as the next one's answer shows: the engine
// reports that end and nothing of the next. Rounds try other moments; every end is next's.
void tst_WebBrowser::leavingAPageStillLoading()
{
    TestHttpServer server;
    server.addPage(QStringLiteral("/next.htm"), "<html><body>next</body></html>");
    QVERIFY(server.start());
    const QString next = server.url(QStringLiteral("/next.htm"));
    for (int round = 0; round < 20; ++round) {
        const QString image = QStringLiteral("/slow?n=4&ms=%1&r=%2").arg(1 + round % 5).arg(round);
        const QString left = QStringLiteral("/left%1.htm").arg(round);
        server.addPage(left, "<img src=\"" + image.toUtf8() + "\">");
        WebBrowser browser;
        browser.show();
        browser.Navigate(server.url(left));
        QTRY_COMPARE_WITH_TIMEOUT(server.requestCount(image), 1, kWaitMs);
        QStringList finished;
        connect(&browser, &WebBrowser::DownloadComplete, this, [&] {
            finished << (browser.LastLoadOk() ? browser.LocationURL() : QString()); // "": failed
        });
        browser.Navigate(next);
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), kWaitMs);
        QTest::qWait(100); // nothing more comes
        QCOMPARE(finished, QStringList{next});
    }
}

QTEST_MAIN(tst_WebBrowser)
#include "tst_webbrowser.moc"
