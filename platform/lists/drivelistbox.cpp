#include "drivelistbox.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include "folderaccess.h"

using namespace Qt::StringLiterals;

namespace {

bool IsUnder(const QString &path, const QString &root)
{
    if (root == u"/"_s)
        return path.startsWith(u'/');
    return path == root || path.startsWith(root + u'/');
}

} // namespace

DriveListBox::DriveListBox(QWidget *parent) : QComboBox(parent)
{
    const QStringList drives = Drives();
    for (const QString &drive : drives)
        addItem(drive, drive);
    const QString current = DriveOf(lists::NormalisedFolder(QDir::currentPath()), drives);
    setCurrentIndex(std::max(0, findData(current)));
    connect(this, &QComboBox::currentIndexChanged, this, &DriveListBox::Change);
}

QString DriveListBox::Drive() const
{
    return currentData().toString();
}

bool DriveListBox::SetDrive(const QString &drive)
{
    const int index = findData(drive);
    if (index < 0)
        return false;
    setCurrentIndex(index);
    return true;
}

QStringList DriveListBox::Drives()
{
    QStringList drives{u"/"_s};
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        // Real file systems sit on a device node; proc, sysfs, tmpfs and friends do not.
        // Single files bind-mounted into containers are no drives either.
        const QString root = volume.rootPath();
        if (!volume.isValid() || !volume.device().startsWith("/dev/") || !QFileInfo(root).isDir())
            continue;
        if (!drives.contains(root))
            drives << root;
    }
    std::sort(drives.begin() + 1, drives.end());
    return drives;
}

QString DriveListBox::DriveOf(const QString &path, const QStringList &drives)
{
    QString best = u"/"_s;
    for (const QString &drive : drives) {
        if (IsUnder(path, drive) && drive.size() > best.size())
            best = drive;
    }
    return best;
}

QString DriveListBox::CurrentFolderOf(const QString &drive)
{
    const QString current = lists::NormalisedFolder(QDir::currentPath());
    return DriveOf(current, Drives()) == drive ? current : drive;
}
