#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

// The drive list: the file-system roots of the machine, which on Linux are "/" and
// the mounted volumes of real file systems. Raises Change when another drive becomes
// the current one.
class DriveListBox final : public QComboBox
{
    Q_OBJECT

public:
    // Starts on the drive that holds the process's current directory.
    explicit DriveListBox(QWidget *parent = nullptr);

    QString Drive() const;
    // False when drive is not one of the listed roots; the list is then unchanged.
    bool SetDrive(const QString &drive);

    static QStringList Drives();
    // The listed root that holds path: the longest root that is a prefix of it.
    static QString DriveOf(const QString &path, const QStringList &drives);
    // The folder a directory list opens for drive: the process's current directory
    // when it lies on that drive, otherwise the drive's root.
    static QString CurrentFolderOf(const QString &drive);

signals:
    void Change();
};
