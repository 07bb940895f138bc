#include "frmsupport.h"
#include "modmain.h"
#include "shellprompts.h"
#include "shellwindows.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {
const QString kFormError =
    u"Form error: Please enter a dollar value in the form of '0.00' into the amount box."_s;
const QString kNote =
    u"Note: After you click 'Ok' below, your browser will open, displaying a PayPal confirmation "
    u"page.  Follow the instructions on this page to send your donation! Thanks again for your support!"_s;
const QString kPayment = u"open: https://www.paypal.com/xclick/business=donate@example.com"
                         u"&item_name=Linkhauler(1.0.0)-donation&amount=$"_s;
} // namespace

class TestSupport : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void designState();
    void continueWithAmount_data();
    void continueWithAmount();
    void rejectedAmountCanBeCorrected();
    void enterAndEscapeDoNotPressButtons_data();
    void enterAndEscapeDoNotPressButtons();
    void cancelCloses();
    void everyOpeningStartsEmpty();

private:
    // Boxes and browser hand-offs in the order they happened.
    QStringList events_;
};

void TestSupport::init()
{
    events_.clear();
    ShellPrompts::SetInformationHandler(
        [this](QWidget *, const QString &title, const QString &text) {
            events_ << title + u": "_s + text;
        });
    modMain::SetShellOpenHandler(
        [this](const QString &address) { events_ << u"open: "_s + address; });
}

void TestSupport::cleanup()
{
    ShellPrompts::SetInformationHandler({});
    modMain::SetShellOpenHandler({});
}

void TestSupport::designState()
{
    frmSupport window;
    QCOMPARE(window.windowTitle(), u"Support FREE Software!"_s);
    QCOMPARE(window.size(), QSize(401, 121));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QCOMPARE(window.windowType(), Qt::Tool);
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    auto *amount = window.findChild<QLineEdit *>(u"txtAmount"_s);
    QVERIFY(amount);
    QCOMPARE(amount->geometry(), QRect(56, 61, 129, 19));
    QVERIFY(amount->text().isEmpty());
    QCOMPARE(window.findChild<QLabel *>(u"Label2"_s)->buddy(), amount);

    auto *next = window.findChild<QPushButton *>(u"cmdContinue"_s);
    auto *cancel = window.findChild<QPushButton *>(u"cmdCancel"_s);
    QCOMPARE(next->text(), u"&Continue"_s);
    QCOMPARE(cancel->text(), u"C&ancel"_s);
    for (const QPushButton *button : {next, cancel}) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.focusWidget(), amount);
    QTest::keyClick(amount, Qt::Key_Tab);
    QCOMPARE(window.focusWidget(), next);
    QTest::keyClick(next, Qt::Key_Tab);
    QCOMPARE(window.focusWidget(), cancel);
}

void TestSupport::continueWithAmount_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("cents") << u"5.00"_s << QStringList{kNote, kPayment + u"5.00"_s};
    QTest::newRow("empty") << QString() << QStringList{kNote, kPayment};
    QTest::newRow("lone point") << u"."_s << QStringList{kNote, kPayment + u"."_s};
    QTest::newRow("second point") << u"5.0.0"_s << QStringList{kFormError};
    QTest::newRow("dollar sign") << u"$5"_s << QStringList{kFormError};
    QTest::newRow("space") << u"5 "_s << QStringList{kFormError};
}

void TestSupport::continueWithAmount()
{
    QFETCH(QString, amount);
    QFETCH(QStringList, expected);
    frmSupport window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *box = window.findChild<QLineEdit *>(u"txtAmount"_s);
    QTest::keyClicks(box, amount);
    QTest::mouseClick(window.findChild<QPushButton *>(u"cmdContinue"_s), Qt::LeftButton);
    QCOMPARE(events_, expected);
    const bool accepted = expected.size() == 2;
    QCOMPARE(window.isVisible(), !accepted);
    QCOMPARE(box->text(), amount);
}

void TestSupport::rejectedAmountCanBeCorrected()
{
    frmSupport window;
    window.show();
    auto *box = window.findChild<QLineEdit *>(u"txtAmount"_s);
    auto *next = window.findChild<QPushButton *>(u"cmdContinue"_s);
    QTest::keyClicks(box, u"5,00"_s);
    QTest::mouseClick(next, Qt::LeftButton);
    QVERIFY(window.isVisible());
    box->clear();
    QTest::keyClicks(box, u"5.00"_s);
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(events_, (QStringList{kFormError, kNote, kPayment + u"5.00"_s}));
    QVERIFY(!window.isVisible());
}

void TestSupport::enterAndEscapeDoNotPressButtons_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::newRow("Return in amount") << u"txtAmount"_s << int(Qt::Key_Return);
    QTest::newRow("Enter in amount") << u"txtAmount"_s << int(Qt::Key_Enter);
    QTest::newRow("Esc in amount") << u"txtAmount"_s << int(Qt::Key_Escape);
    QTest::newRow("Return on Continue") << u"cmdContinue"_s << int(Qt::Key_Return);
    QTest::newRow("Esc on Cancel") << u"cmdCancel"_s << int(Qt::Key_Escape);
}

void TestSupport::enterAndEscapeDoNotPressButtons()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    frmSupport window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClicks(window.findChild<QLineEdit *>(u"txtAmount"_s), u"5"_s);
    auto *target = window.findChild<QWidget *>(focus);
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key));
    QCoreApplication::processEvents();
    QVERIFY(window.isVisible());
    QCOMPARE(events_, QStringList());
}

void TestSupport::cancelCloses()
{
    frmSupport window;
    window.show();
    QTest::keyClicks(window.findChild<QLineEdit *>(u"txtAmount"_s), u"5"_s);
    QTest::mouseClick(window.findChild<QPushButton *>(u"cmdCancel"_s), Qt::LeftButton);
    QVERIFY(!window.isVisible());
    QCOMPARE(events_, QStringList());
}

void TestSupport::everyOpeningStartsEmpty()
{
    QStringList seen;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *window = qobject_cast<frmSupport *>(QApplication::activeModalWidget());
        if (!window || !window->isVisible())
            return;
        auto *box = window->findChild<QLineEdit *>(u"txtAmount"_s);
        seen << box->text();
        box->setText(u"7"_s);
        QTest::mouseClick(window->findChild<QPushButton *>(u"cmdCancel"_s), Qt::LeftButton);
    });
    poll.start();
    ShowSupport(nullptr);
    ShowSupport(nullptr);
    poll.stop();
    QCOMPARE(seen, (QStringList{QString(), QString()}));
}

QTEST_MAIN(TestSupport)
#include "tst_support.moc"
