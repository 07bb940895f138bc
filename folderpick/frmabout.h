#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The about box: the icon, the control's name and version, and who made it.
class frmAbout final : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    QPushButton *cmdOK = nullptr;
    QLabel *picIcon = nullptr;
    QLabel *lblDescription = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;

private:
    void cmdOK_Click();
};
