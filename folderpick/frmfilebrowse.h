#pragma once

#include <QDialog>

class DirListBox;
class DriveListBox;
class FileListBox;
class QPushButton;

// The file dialog. "&Ok" hands every selected file back through
// basMain::ReturnValue(), full paths joined by ";"; "&Cancel" and the close box
// leave it empty.
class frmFileBrowse final : public QDialog
{
    Q_OBJECT

public:
    explicit frmFileBrowse(QWidget *parent = nullptr);

    void SetPattern(const QString &pattern);

    QPushButton *cmdAbout = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdOk = nullptr;
    DirListBox *Directories = nullptr;
    DriveListBox *Drives = nullptr;
    FileListBox *Files = nullptr;

private:
    void Drives_Change();
    void Directories_Change();
    void Files_Click();
    void cmdOk_Click();
    void cmdCancel_Click();
    void cmdAbout_Click();
};

// The "&Ok" answer: folder joined to each selected name, in list order, separated by
// ";". A folder that already ends in "/" (the root) gets no second one.
QString JoinSelectedFiles(const QString &folder, const QStringList &selectedNames);
