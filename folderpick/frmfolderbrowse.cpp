#include "frmfolderbrowse.h"

#include <QPushButton>

#include "basmain.h"
#include "dirlistbox.h"
#include "drivelistbox.h"
#include "frmabout.h"

using namespace Qt::StringLiterals;

frmFolderBrowse::frmFolderBrowse(QWidget *parent) : QDialog(parent, basMain::ToolWindowFlags(true))
{
    setObjectName(u"frmFolderBrowse"_s);
    setWindowTitle(u"Browse for folder"_s);
    setFixedSize(304, 293);

    Drives = new DriveListBox(this);
    Drives->setObjectName(u"Drives"_s);
    Drives->setGeometry(0, 0, 303, 21);
    Directories = new DirListBox(this);
    Directories->setObjectName(u"Directories"_s);
    Directories->setGeometry(0, 22, 303, 246);
    cmdOk = new QPushButton(u"&Ok"_s, this);
    cmdOk->setObjectName(u"cmdOk"_s);
    cmdOk->setGeometry(216, 270, 85, 21);
    cmdOk->setEnabled(false);
    cmdCancel = new QPushButton(u"&Cancel"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    cmdCancel->setGeometry(128, 270, 85, 21);
    cmdAbout = new QPushButton(u"?"_s, this);
    cmdAbout->setObjectName(u"cmdAbout"_s);
    cmdAbout->setGeometry(2, 270, 21, 21);
    // Neither button is a default button: Enter in a list must not press one of them.
    for (QPushButton *button : {cmdOk, cmdCancel, cmdAbout})
        button->setAutoDefault(false);

    setTabOrder(Drives, Directories);
    setTabOrder(Directories, cmdOk);
    setTabOrder(cmdOk, cmdCancel);
    setTabOrder(cmdCancel, cmdAbout);
    Drives->setFocus();

    connect(Drives, &DriveListBox::Change, this, &frmFolderBrowse::Drives_Change);
    connect(Directories, &DirListBox::Click, this, &frmFolderBrowse::Directories_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmFolderBrowse::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmFolderBrowse::cmdCancel_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &frmFolderBrowse::cmdAbout_Click);
}

void frmFolderBrowse::Drives_Change()
{
    // A drive that cannot be read leaves the list on its folder, without a message.
    Directories->SetPath(DriveListBox::CurrentFolderOf(Drives->Drive()));
}

void frmFolderBrowse::Directories_Click()
{
    cmdOk->setEnabled(Directories->ListIndex() != -1);
}

void frmFolderBrowse::cmdOk_Click()
{
    basMain::ReturnValue() = Directories->List(Directories->ListIndex());
    accept();
}

void frmFolderBrowse::cmdCancel_Click()
{
    basMain::ReturnValue().clear();
    reject();
}

void frmFolderBrowse::cmdAbout_Click()
{
    frmAbout about(this);
    about.exec();
}
