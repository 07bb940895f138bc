#pragma once

#include <QDialog>
#include <QLabel>
#include <QPixmap>

class QTimer;

// A label over the splash picture that swallows its clicks, so they never reach
// the window underneath (whose own click closes the splash).
class SplashLabel final : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The start-up splash, which is also the About box.
class frmSplash final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSplash)
public:
    explicit frmSplash(QWidget *owner = nullptr);
    ~frmSplash() override;

    // How long the start-up splash stays up by itself; tests shorten it.
    static void SetTimerInterval(int milliseconds);
    static int TimerInterval();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load();
    void Form_Click();
    void tmrSplash_Timer();
    void lblVersion_Click();
    void lblWebLink_Click();

    QPixmap picture_;
    QTimer *tmrSplash = nullptr;
    SplashLabel *lblWebLink = nullptr;
    SplashLabel *Label1 = nullptr;
    SplashLabel *lblMessage = nullptr;
    SplashLabel *lblVersion = nullptr;
};
