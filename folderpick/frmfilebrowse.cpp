#include "frmfilebrowse.h"

#include <QPushButton>

#include "basmain.h"
#include "dirlistbox.h"
#include "drivelistbox.h"
#include "filelistbox.h"
#include "frmabout.h"

using namespace Qt::StringLiterals;

QString JoinSelectedFiles(const QString &folder, const QStringList &selectedNames)
{
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    QStringList paths;
    for (const QString &name : selectedNames)
        paths << prefix + name;
    return paths.join(u';');
}

frmFileBrowse::frmFileBrowse(QWidget *parent) : QDialog(parent, basMain::ToolWindowFlags(true))
{
    setObjectName(u"frmFileBrowse"_s);
    setWindowTitle(u"Browse for a file..."_s);
    setFixedSize(375, 293);

    cmdAbout = new QPushButton(u"?"_s, this);
    cmdAbout->setObjectName(u"cmdAbout"_s);
    cmdAbout->setGeometry(2, 270, 21, 21);
    cmdCancel = new QPushButton(u"&Cancel"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    cmdCancel->setGeometry(200, 270, 85, 21);
    cmdOk = new QPushButton(u"&Ok"_s, this);
    cmdOk->setObjectName(u"cmdOk"_s);
    cmdOk->setGeometry(288, 270, 85, 21);
    cmdOk->setEnabled(false);
    // Neither button is a default button: Enter in a list must not press one of them.
    for (QPushButton *button : {cmdOk, cmdCancel, cmdAbout})
        button->setAutoDefault(false);
    Directories = new DirListBox(this);
    Directories->setObjectName(u"Directories"_s);
    Directories->setGeometry(0, 22, 187, 246);
    Drives = new DriveListBox(this);
    Drives->setObjectName(u"Drives"_s);
    Drives->setGeometry(0, 0, 187, 21);
    Files = new FileListBox(this);
    Files->setObjectName(u"Files"_s);
    Files->setGeometry(188, 2, 187, 266);
    Files->SetPath(Directories->Path());

    setTabOrder(cmdAbout, cmdCancel);
    setTabOrder(cmdCancel, cmdOk);
    setTabOrder(cmdOk, Directories);
    setTabOrder(Directories, Drives);
    setTabOrder(Drives, Files);
    cmdAbout->setFocus();

    connect(Drives, &DriveListBox::Change, this, &frmFileBrowse::Drives_Change);
    connect(Directories, &DirListBox::Change, this, &frmFileBrowse::Directories_Change);
    connect(Files, &FileListBox::Click, this, &frmFileBrowse::Files_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmFileBrowse::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmFileBrowse::cmdCancel_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &frmFileBrowse::cmdAbout_Click);
}

void frmFileBrowse::SetPattern(const QString &pattern)
{
    Files->SetPattern(pattern);
}

void frmFileBrowse::Drives_Change()
{
    // A drive that cannot be read leaves both lists on their folder, without a message.
    Directories->SetPath(DriveListBox::CurrentFolderOf(Drives->Drive()));
}

void frmFileBrowse::Directories_Change()
{
    // Should the folder vanish first, the file list keeps showing the last one it could read.
    Files->SetPath(Directories->Path());
}

void frmFileBrowse::Files_Click()
{
    cmdOk->setEnabled(Files->ListIndex() != -1);
}

void frmFileBrowse::cmdOk_Click()
{
    QStringList selected;
    for (int i = 0; i < Files->ListCount(); ++i) {
        if (Files->Selected(i))
            selected << Files->List(i);
    }
    basMain::ReturnValue() = JoinSelectedFiles(Files->Path(), selected);
    accept();
}

void frmFileBrowse::cmdCancel_Click()
{
    basMain::ReturnValue().clear();
    reject();
}

void frmFileBrowse::cmdAbout_Click()
{
    frmAbout about(this);
    about.exec();
}
