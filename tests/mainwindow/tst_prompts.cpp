#include "prompts.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Runs `answer` on the modal box once it is up; gives up after a bounded number of tries.
void AnswerModal(std::function<void(QWidget *)> answer)
{
    auto *timer = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, answer] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal || ++*tries > 500) {
            timer->deleteLater();
            timer->stop();
            if (!modal)
                return;
            answer(modal);
            // A failed check returns before answering; never leave the box blocking the test.
            if (auto *dialog = qobject_cast<QDialog *>(modal); dialog && dialog->isVisible())
                dialog->reject();
        }
    });
    timer->start(10);
}

} // namespace

class tst_Prompts : public QObject
{
    Q_OBJECT

private slots:
    void msgBox_data();
    void msgBox();
    void yesNo_data();
    void yesNo();
    void inputBox_data();
    void inputBox();

private:
    QWidget m_owner;
};

void tst_Prompts::msgBox_data()
{
    QTest::addColumn<Prompts::Icon>("icon");
    QTest::addColumn<QMessageBox::Icon>("shown");
    QTest::newRow("refusal, critical") << Prompts::Icon::Critical << QMessageBox::Critical;
    QTest::newRow("already exists, no icon") << Prompts::Icon::None << QMessageBox::NoIcon;
    QTest::newRow("warning") << Prompts::Icon::Warning << QMessageBox::Warning;
}

void tst_Prompts::msgBox()
{
    QFETCH(Prompts::Icon, icon);
    QFETCH(QMessageBox::Icon, shown);
    DialogPrompts prompts(&m_owner);
    bool seen = false;
    AnswerModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        seen = true;
        QCOMPARE(box->windowTitle(), u"End exists"_s);
        QCOMPARE(box->text(), u"The end variable 'gif' already exists."_s);
        QCOMPARE(box->icon(), shown);
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        box->button(QMessageBox::Ok)->click();
    });
    prompts.MsgBox(u"The end variable 'gif' already exists."_s, u"End exists"_s, icon);
    QVERIFY(seen);
}

void tst_Prompts::yesNo_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("press");
    QTest::addColumn<bool>("answer");
    QTest::newRow("yes") << QMessageBox::Yes << true;
    QTest::newRow("no") << QMessageBox::No << false;
}

void tst_Prompts::yesNo()
{
    QFETCH(QMessageBox::StandardButton, press);
    QFETCH(bool, answer);
    DialogPrompts prompts(&m_owner);
    bool seen = false;
    AnswerModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        seen = true;
        QCOMPARE(box->windowTitle(), u"Confirm intent"_s);
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        box->button(press)->click();
    });
    QCOMPARE(prompts.YesNo(u"Sure?"_s, u"Confirm intent"_s), answer);
    QVERIFY(seen);
}

void tst_Prompts::inputBox_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("expected");
    QTest::newRow("typed and OK") << true << u" gif "_s;
    QTest::newRow("cancel gives the empty text") << false << QString();
}

void tst_Prompts::inputBox()
{
    QFETCH(bool, accept);
    QFETCH(QString, expected);
    DialogPrompts prompts(&m_owner);
    bool seen = false;
    AnswerModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QInputDialog *>(modal);
        QVERIFY(dialog);
        seen = true;
        QCOMPARE(dialog->windowTitle(), u"Add end variable"_s);
        QCOMPARE(dialog->labelText(), u"Please enter an end string:"_s);
        QCOMPARE(dialog->textValue(), QString());
        dialog->setTextValue(u" gif "_s);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
    QCOMPARE(prompts.InputBox(u"Please enter an end string:"_s, u"Add end variable"_s), expected);
    QVERIFY(seen);
}

QTEST_MAIN(tst_Prompts)
#include "tst_prompts.moc"
