#pragma once

#include <QDialog>

class DirListBox;
class DriveListBox;
class QPushButton;

// The folder dialog. "&Ok" hands the highlighted folder back through
// basMain::ReturnValue(); "&Cancel" and the close box leave it empty.
class frmFolderBrowse final : public QDialog
{
    Q_OBJECT

public:
    explicit frmFolderBrowse(QWidget *parent = nullptr);

    DriveListBox *Drives = nullptr;
    DirListBox *Directories = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdAbout = nullptr;

private:
    void Drives_Change();
    void Directories_Click();
    void cmdOk_Click();
    void cmdCancel_Click();
    void cmdAbout_Click();
};
