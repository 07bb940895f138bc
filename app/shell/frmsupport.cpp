#include "frmsupport.h"

#include "makerinfo.h"
#include "modmain.h"
#include "shelllogic.h"
#include "shellprompts.h"
#include "toolwindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QPushButton *plainButton(const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    // Neither button answers Enter: the amount box must not send the form by accident.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

frmSupport::frmSupport(QWidget *owner) : QDialog(owner)
{
    setObjectName(u"frmSupport"_s);
    setWindowTitle(u"Support FREE Software!"_s);
    PrepareToolWindow(this, owner, 401, 121);

    // The controls were placed for a small face; a larger one would spill out.
    QFont formFont = font();
    formFont.setPointSizeF(8.25);
    setFont(formFont);

    Label1 = new QLabel(
        u"Thank you for your willingness to support FREE software! Please fill out the form below to donate whatever you can (any amount, no matter how small, is greatly appreciated) via PayPal - the world's premier online payment system!"_s,
        this);
    Label1->setObjectName(u"Label1"_s);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Our face runs taller than the one the form was laid out for: let the
    // message take the lines it needs down to the amount row.
    Label1->setGeometry(8, 6, 385, std::max(41, Label1->heightForWidth(385)));

    Label2 = new QLabel(u"&Amount:"_s, this);
    Label2->setObjectName(u"Label2"_s);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Right-aligned against the amount box, with room for a face wider than the
    // one the form was laid out for.
    Label2->setGeometry(2, 61, 50, 19);

    txtAmount = new QLineEdit(this);
    txtAmount->setObjectName(u"txtAmount"_s);
    txtAmount->setGeometry(56, 61, 129, 19);
    Label2->setBuddy(txtAmount);

    Label3 = new QLabel(u"< please enter in the 0.00 format"_s, this);
    Label3->setObjectName(u"Label3"_s);
    Label3->adjustSize();
    Label3->move(192, 61 + (19 - Label3->height()) / 2);

    cmdContinue = plainButton(u"&Continue"_s, this);
    cmdContinue->setObjectName(u"cmdContinue"_s);
    cmdContinue->setGeometry(240, 88, 73, 25);

    cmdCancel = plainButton(u"C&ancel"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    cmdCancel->setGeometry(320, 88, 73, 25);

    Label1->setFocusPolicy(Qt::NoFocus);
    setTabOrder(txtAmount, cmdContinue);
    setTabOrder(cmdContinue, cmdCancel);
    txtAmount->setFocus();

    connect(cmdContinue, &QPushButton::clicked, this, &frmSupport::cmdContinue_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSupport::cmdCancel_Click);
}

frmSupport::~frmSupport() = default;

void frmSupport::keyPressEvent(QKeyEvent *event)
{
    // No cancel button here: Esc leaves the window open, like Enter.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmSupport::cmdContinue_Click()
{
    if (!ShellLogic::ValidAmount(txtAmount->text())) {
        ShellPrompts::Information(
            this, u"Form error"_s,
            u"Please enter a dollar value in the form of '0.00' into the amount box."_s);
        return;
    }
    ShellPrompts::Information(
        this, u"Note"_s,
        u"After you click 'Ok' below, your browser will open, displaying a PayPal confirmation page.  Follow the instructions on this page to send your donation! Thanks again for your support!"_s);
    modMain::ShellOpen(ShellLogic::PaymentAddress(MakerInfo::PayPalSecureBase(),
                                                  MakerInfo::PayPalAccount(), MakerInfo::AppTitle(),
                                                  MakerInfo::AppVersion(), txtAmount->text()));
    close();
}

void frmSupport::cmdCancel_Click()
{
    close();
}
