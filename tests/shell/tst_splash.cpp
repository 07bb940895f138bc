#include "frmsplash.h"
#include "makerinfo.h"
#include "modmain.h"
#include "shellwindows.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestSplash : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void designState();
    void startupSplashClosesByItself();
    void aboutBoxHasNoTimer();
    void clicks_data();
    void clicks();
    void webLinkOpensMakerSiteAndStays();
    void escapeDoesNotClose();
    void aboutComesUpModallyAndClosesOnVersionClick();

private:
    QStringList opened_;
};

void TestSplash::init()
{
    opened_.clear();
    modMain::SetShellOpenHandler([this](const QString &address) { opened_ << address; });
    frmSplash::SetTimerInterval(2500);
}

void TestSplash::cleanup()
{
    modMain::SetShellOpenHandler({});
    modMain::SplashShown = false;
}

void TestSplash::designState()
{
    modMain::SplashShown = false;
    frmSplash splash;
    QCOMPARE(splash.size(), QSize(400, 200));
    QVERIFY(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(splash.windowType(), Qt::SplashScreen);
    auto *web = splash.findChild<QLabel *>(u"lblWebLink"_s);
    QVERIFY(web);
    QCOMPARE(web->geometry(), QRect(94, 172, 209, 19));
    QVERIFY(web->text().isEmpty());
    // What the picture shows, for those who cannot see it.
    QCOMPARE(QAccessible::queryAccessibleInterface(web)->text(QAccessible::Name),
             u"Visit us at www.example.com"_s);
    QCOMPARE(QAccessible::queryAccessibleInterface(&splash)->text(QAccessible::Name),
             u"Linkhauler"_s);
    QCOMPARE(splash.findChild<QLabel *>(u"Label1"_s)->text(), u"BETA Release 1"_s);
    QCOMPARE(splash.findChild<QLabel *>(u"lblVersion"_s)->text(), u"version 1.0"_s);
    QCOMPARE(splash.findChild<QLabel *>(u"lblMessage"_s)->text(),
             u"Please report ALL errors by clicking 'Feedback' on the main screen!"_s);
    auto *timer = splash.findChild<QTimer *>(u"tmrSplash"_s);
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 2500);
    QVERIFY(timer->isActive());
}

void TestSplash::startupSplashClosesByItself()
{
    modMain::SplashShown = false;
    frmSplash::SetTimerInterval(30);
    frmSplash splash;
    splash.show();
    QVERIFY(splash.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!splash.isVisible(), 5000);
    QVERIFY(opened_.isEmpty());
}

void TestSplash::aboutBoxHasNoTimer()
{
    modMain::SplashShown = true;
    frmSplash splash;
    splash.show();
    QVERIFY(!splash.findChild<QTimer *>(u"tmrSplash"_s)->isActive());
}

void TestSplash::clicks_data()
{
    QTest::addColumn<QString>("target"); // empty: the picture itself
    QTest::addColumn<bool>("closes");
    QTest::newRow("picture") << QString() << true;
    QTest::newRow("version text") << u"lblVersion"_s << true;
    QTest::newRow("beta text") << u"Label1"_s << false;
    QTest::newRow("message text") << u"lblMessage"_s << false;
}

void TestSplash::clicks()
{
    QFETCH(QString, target);
    QFETCH(bool, closes);
    modMain::SplashShown = true; // no timer: only the click can close it
    frmSplash splash;
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    QWidget *widget = &splash;
    QPoint at(20, 140); // open ground below the globe
    if (!target.isEmpty()) {
        widget = splash.findChild<QWidget *>(target);
        QVERIFY(widget);
        at = widget->rect().center();
    } else {
        QCOMPARE(splash.childAt(at), nullptr);
    }
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    QCoreApplication::processEvents();
    QCOMPARE(splash.isVisible(), !closes);
    QVERIFY(opened_.isEmpty());
}

void TestSplash::webLinkOpensMakerSiteAndStays()
{
    modMain::SplashShown = true;
    frmSplash splash;
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    auto *web = splash.findChild<QWidget *>(u"lblWebLink"_s);
    QTest::mouseClick(web, Qt::LeftButton, {}, web->rect().center());
    QCOMPARE(opened_, QStringList{MakerInfo::MakerSite()});
    QVERIFY(splash.isVisible());
}

void TestSplash::escapeDoesNotClose()
{
    modMain::SplashShown = true;
    frmSplash splash;
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    QTest::keyClick(&splash, Qt::Key_Escape);
    QVERIFY(splash.isVisible());
}

void TestSplash::aboutComesUpModallyAndClosesOnVersionClick()
{
    modMain::SplashShown = true;
    int clicked = 0;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *splash = qobject_cast<frmSplash *>(QApplication::activeModalWidget());
        if (!splash)
            return;
        poll.stop();
        auto *version = splash->findChild<QWidget *>(u"lblVersion"_s);
        ++clicked;
        QTest::mouseClick(version, Qt::LeftButton, {}, version->rect().center());
    });
    poll.start();
    ShowAbout(nullptr); // returns once the box has closed
    QCOMPARE(clicked, 1);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
