#include "frmabout.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "basmain.h"

using namespace Qt::StringLiterals;

namespace {

void StyleHeading(QLabel *label, const QColor &colour)
{
    QFont font(u"Sans Serif"_s);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

frmAbout::frmAbout(QWidget *parent) : QDialog(parent, basMain::ToolWindowFlags(false))
{
    setObjectName(u"frmAbout"_s);
    setWindowTitle(u"About"_s);
    setFixedSize(202, 140);

    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setGeometry(59, 114, 84, 21);
    // Enter presses it through the default; Esc closes the dialog just the same.
    cmdOK->setDefault(true);

    picIcon = new QLabel(this);
    picIcon->setObjectName(u"picIcon"_s);
    picIcon->setGeometry(4, 4, 32, 32);
    picIcon->setPixmap(QPixmap::fromImage(basMain::Icon()));

    lblDescription = new QLabel(this);
    lblDescription->setObjectName(u"lblDescription"_s);
    lblDescription->setGeometry(4, 43, 193, 66);
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDescription->setText(u"Made by the Linkhauler developers to pick folders and files. "
                            "Anyone may use it freely. A copy comes with Linkhauler."_s);

    lblTitle = new QLabel(u"Folderpick Control"_s, this);
    lblTitle->setObjectName(u"lblTitle"_s);
    lblTitle->setGeometry(44, 4, 153, 16);
    StyleHeading(lblTitle, QColor(0x00, 0x00, 0x80));

    lblVersion = new QLabel(u"Version 1.0"_s, this);
    lblVersion->setObjectName(u"lblVersion"_s);
    lblVersion->setGeometry(44, 26, 153, 13);
    StyleHeading(lblVersion, QColor(0x80, 0x00, 0x00));

    setTabOrder(cmdOK, picIcon);
    setTabOrder(picIcon, lblDescription);
    setTabOrder(lblDescription, lblTitle);
    setTabOrder(lblTitle, lblVersion);

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::cmdOK_Click()
{
    accept();
}
