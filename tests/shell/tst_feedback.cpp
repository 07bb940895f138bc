#include "frmfeedback.h"
#include "webbrowser.h"

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// A stand-in for the maker's form: once loaded, it sends the browser on to
// the address given, keeping its own query so the test can see what arrived.
void writeForm(const QString &path, const QString &nextScript)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        u"<!DOCTYPE html><html><body><p>form</p><script>"
        u"window.addEventListener('load', function () { setTimeout(function () { %1 }, 0); });"
        u"</script></body></html>"_s.arg(nextScript)
            .toUtf8());
}

} // namespace

class TestFeedback : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void designState();
    void closesOnlyOnClose_data();
    void closesOnlyOnClose();

private:
    QTemporaryDir dir_;
};

void TestFeedback::initTestCase()
{
    QVERIFY(dir_.isValid());
    QFile thanks(dir_.filePath(u"thanks.htm"_s));
    QVERIFY(thanks.open(QIODevice::WriteOnly));
    thanks.write("<!DOCTYPE html><html><body><p>thanks</p></body></html>");
}

void TestFeedback::designState()
{
    writeForm(dir_.filePath(u"still.htm"_s), QString());
    frmFeedback window(nullptr, QUrl::fromLocalFile(dir_.filePath(u"still.htm"_s)).toString());
    QCOMPARE(window.windowTitle(), u"Feedback Form"_s);
    QCOMPARE(window.size(), QSize(404, 302));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QCOMPARE(window.windowType(), Qt::Tool);
    auto *browser = window.findChild<WebBrowser *>(u"Browser"_s);
    QVERIFY(browser);
    QCOMPARE(browser->geometry(), QRect(0, -2, 424, 322));
    QSignalSpy loads(browser, &WebBrowser::DocumentComplete);
    QTRY_COMPARE_WITH_TIMEOUT(loads.size(), 1, 30000);
    QVERIFY2(
        browser->LocationURL().endsWith(u"still.htm?txtAppTitle=Linkhauler&txtVersion=1.0.0"_s),
        qPrintable(browser->LocationURL()));
}

void TestFeedback::closesOnlyOnClose_data()
{
    QTest::addColumn<QString>("nextScript");
    QTest::addColumn<bool>("closes");
    QTest::newRow("query ends in Close")
        << u"location.href = 'thanks.htm' + location.search + '&Close';"_s << true;
    QTest::newRow("fragment ends in Close on another page")
        << u"location.href = 'thanks.htm' + location.search + '#Close';"_s << true;
    QTest::newRow("lower-case close")
        << u"location.href = 'thanks.htm' + location.search + '&x=/close';"_s << false;
    QTest::newRow("no navigation") << QString() << false;
}

void TestFeedback::closesOnlyOnClose()
{
    QFETCH(QString, nextScript);
    QFETCH(bool, closes);
    const QString form = dir_.filePath(
        u"form-%1.htm"_s.arg(QString::fromLatin1(QTest::currentDataTag())).replace(u' ', u'-'));
    writeForm(form, nextScript);

    frmFeedback window(nullptr, QUrl::fromLocalFile(form).toString());
    auto *browser = window.findChild<WebBrowser *>(u"Browser"_s);
    QSignalSpy loads(browser, &WebBrowser::DocumentComplete);
    window.show();

    const int expectedLoads = nextScript.isEmpty() ? 1 : 2;
    QTRY_COMPARE_WITH_TIMEOUT(loads.size(), expectedLoads, 30000);
    if (expectedLoads == 2) {
        // The form's query reached the page and went on with it.
        QVERIFY2(browser->LocationURL().contains(
                     u"thanks.htm?txtAppTitle=Linkhauler&txtVersion=1.0.0"_s),
                 qPrintable(browser->LocationURL()));
    }
    QCOMPARE(window.isVisible(), !closes);
}

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestFeedback test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_feedback.moc"
