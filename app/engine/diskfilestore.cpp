#include "diskfilestore.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace {

QString Failure(const QString &path, const QString &reason)
{
    return u"Path/File access error: \"%1\": %2"_s.arg(path, reason);
}

} // namespace

bool DiskFileStore::FileExists(const QString &path) const
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

bool DiskFileStore::WriteWhole(const QString &path, const QByteArray &bytes, QString &error)
{
    if (path.isEmpty()) {
        error = Failure(path, u"No file name."_s);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = Failure(path, file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        error = Failure(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = Failure(path, file.errorString());
        return false;
    }
    return true;
}

bool DiskFileStore::WriteRecord(const QString &path, const QString &text, QString &error)
{
    return WriteWhole(path, RecordBytes(text), error);
}

bool DiskFileStore::AppendRecord(const QString &path, const QString &text, QString &error)
{
    if (path.isEmpty()) {
        error = Failure(path, u"No file name."_s);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = Failure(path, file.errorString());
        return false;
    }
    const QByteArray record = RecordBytes(text);
    if (file.write(record) != record.size() || !file.flush()) {
        error = Failure(path, file.errorString());
        return false;
    }
    return true;
}
