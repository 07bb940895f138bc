#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for a donation amount and hands the payment request to the user's browser.
class frmSupport final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSupport)
public:
    explicit frmSupport(QWidget *owner = nullptr);
    ~frmSupport() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cmdContinue_Click();
    void cmdCancel_Click();

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtAmount = nullptr;
    QLabel *Label3 = nullptr;
    QPushButton *cmdContinue = nullptr;
    QPushButton *cmdCancel = nullptr;
};
