#include "frmsplash.h"

#include "makerinfo.h"
#include "modmain.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

int g_timerInterval = 2500;

QFont SmallBold()
{
    QFont font(u"Arial"_s);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(true);
    return font;
}

void SetTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

void SplashLabel::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void SplashLabel::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

frmSplash::frmSplash(QWidget *owner)
    : QDialog(owner, Qt::SplashScreen | Qt::FramelessWindowHint)
    , picture_(u":/shell/splash.png"_s)
{
    setObjectName(u"frmSplash"_s);
    setFixedSize(400, 200);
    // The picture carries the name, the tagline and the web-site line; screen readers read
    // them here.
    setAccessibleName(MakerInfo::AppTitle());
    setAccessibleDescription(u"Harvests the links of whole series of web pages"_s);

    // The labels use the window's own small face, as the picture was drawn for it.
    QFont formFont = font();
    formFont.setPointSizeF(8.25);
    setFont(formFont);

    tmrSplash = new QTimer(this);
    tmrSplash->setObjectName(u"tmrSplash"_s);
    tmrSplash->setInterval(g_timerInterval);
    tmrSplash->setSingleShot(true);

    lblWebLink = new SplashLabel(this);
    lblWebLink->setObjectName(u"lblWebLink"_s);
    lblWebLink->setGeometry(94, 172, 209, 19);
    lblWebLink->setCursor(Qt::PointingHandCursor);
    lblWebLink->setToolTip(MakerInfo::MakerSite());
    lblWebLink->setAccessibleName(u"Visit us at www.example.com"_s);

    Label1 = new SplashLabel(u"BETA Release 1"_s, this);
    Label1->setObjectName(u"Label1"_s);
    Label1->setFont(SmallBold());
    SetTextColour(Label1, QColor(224, 224, 224));
    Label1->move(250, 122);
    Label1->adjustSize();

    lblMessage = new SplashLabel(
        u"Please report ALL errors by clicking 'Feedback' on the main screen!"_s, this);
    lblMessage->setObjectName(u"lblMessage"_s);
    lblMessage->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetTextColour(lblMessage, Qt::white);
    lblMessage->adjustSize();
    // Sized to its text, it stays centred where it was laid out.
    lblMessage->move(41 + (318 - lblMessage->width()) / 2, 10);

    lblVersion = new SplashLabel(u"version 1.0"_s, this);
    lblVersion->setObjectName(u"lblVersion"_s);
    lblVersion->setFont(SmallBold());
    SetTextColour(lblVersion, QColor(224, 224, 224));
    lblVersion->move(274, 110);
    lblVersion->adjustSize();

    connect(tmrSplash, &QTimer::timeout, this, &frmSplash::tmrSplash_Timer);
    connect(lblVersion, &SplashLabel::clicked, this, &frmSplash::lblVersion_Click);
    connect(lblWebLink, &SplashLabel::clicked, this, &frmSplash::lblWebLink_Click);

    QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen)
        move(screen->geometry().center() - rect().center());

    Form_Load();
}

frmSplash::~frmSplash() = default;

void frmSplash::SetTimerInterval(int milliseconds)
{
    g_timerInterval = milliseconds;
}

int frmSplash::TimerInterval()
{
    return g_timerInterval;
}

void frmSplash::Form_Load()
{
    if (modMain::SplashShown)
        tmrSplash->stop();
    else
        tmrSplash->start();
}

void frmSplash::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (picture_.isNull())
        painter.fillRect(rect(), QColor(8, 20, 64));
    else
        painter.drawPixmap(rect(), picture_);
}

void frmSplash::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void frmSplash::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Form_Click();
}

void frmSplash::keyPressEvent(QKeyEvent *event)
{
    // The splash closes on a click or its timer only; Esc must not dismiss it.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmSplash::Form_Click()
{
    close();
}

void frmSplash::tmrSplash_Timer()
{
    close();
}

void frmSplash::lblVersion_Click()
{
    close();
}

void frmSplash::lblWebLink_Click()
{
    modMain::ShellOpen(MakerInfo::MakerSite());
}
