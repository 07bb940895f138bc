#include "diskfilestore.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// Short whatever the target's name, so that a name near the file system's limit still
// has room for its temporary; hidden, so that a folder view does not show it.
QString TemporaryName()
{
    return u".lh-%1.part"_s.arg(QRandomGenerator::global()->generate64(), 16, 16, QChar(u'0'));
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
        error = FileAccessError(path, u"No file name."_s);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = FileAccessError(path, file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        error = FileAccessError(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = FileAccessError(path, file.errorString());
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
        error = FileAccessError(path, u"No file name."_s);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = FileAccessError(path, file.errorString());
        return false;
    }
    const QByteArray record = RecordBytes(text);
    if (file.write(record) != record.size() || !file.flush()) {
        error = FileAccessError(path, file.errorString());
        return false;
    }
    return true;
}

QString DiskFileStore::CreateTemporaryBeside(const QString &path, QString &error)
{
    return CreateTemporaryBeside(path, error, {});
}

QString DiskFileStore::CreateTemporaryBeside(
    const QString &path, QString &error, const std::function<bool(const QString &name)> &announce)
{
    if (path.isEmpty()) {
        error = FileAccessError(path, u"No file name."_s);
        return {};
    }
    const QString folder = QFileInfo(path).absolutePath();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString name = NewTemporaryName(folder);
        if (announce && !announce(name))
            return {};
        QFile file(name);
        // NewOnly: never take over a file that is there; the permissions are the umask's.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return name;
        // Only a name that happens to be taken is worth another try.
        if (!QFileInfo::exists(name)) {
            error = FileAccessError(path, file.errorString());
            return {};
        }
    }
    error = FileAccessError(path, u"No temporary file could be made."_s);
    return {};
}

bool DiskFileStore::ReplaceWith(const QString &temporary, const QString &path, QString &error)
{
    // An overwritten file keeps its permissions, as a rewrite in place would.
    if (const QFileInfo old(path); old.isFile())
        QFile::setPermissions(temporary, old.permissions());
    // rename() replaces the path in one step; a reader never sees a partial file.
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData())
        != 0) {
        error = FileAccessError(path, QString::fromLocal8Bit(std::strerror(errno)));
        RemoveTemporary(temporary);
        return false;
    }
    return true;
}

QString DiskFileStore::NewTemporaryName(const QString &folder)
{
    return folder + u'/' + TemporaryName();
}

bool DiskFileStore::IsTemporaryName(const QString &fileName)
{
    static const QRegularExpression pattern(u"^\\.lh-[0-9a-f]{16}\\.part$"_s);
    return pattern.match(fileName).hasMatch();
}

void DiskFileStore::RemoveTemporary(const QString &temporary)
{
    if (!temporary.isEmpty())
        QFile::remove(temporary);
}
