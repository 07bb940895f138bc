#include "diskfilestore.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Short whatever the target's name, so that a name near the file system's limit still
// has room for its temporary; hidden, so that a folder view does not show it.
QString TemporaryName()
{
    return u".lh-%1.part"_s.arg(QRandomGenerator::global()->generate64(), 16, 16, QChar(u'0'));
}

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

using Moved = FileStore::Moved;

// Something at the path. A folder there is no file that exists: the rename onto it fails,
// never replacing it, and tells why.
Moved Taken(const QByteArray &from, const QByteArray &to)
{
    struct stat status = {};
    if (::lstat(to.constData(), &status) == 0 && S_ISDIR(status.st_mode))
        return std::rename(from.constData(), to.constData()) == 0 ? Moved::Done : Moved::Failed;
    return Moved::PathTaken;
}

// Takes the path only if nothing is there at this moment, so that a file another process put
// there since the overwrite test is kept.
Moved MoveWithoutReplacing(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return Moved::Done;
    if (errno == EEXIST)
        return Taken(from, to);
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return Moved::Failed;
    // A file system that cannot refuse a rename: a new hard link fails where the name is taken.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return Moved::Done;
    }
    if (errno == EEXIST)
        return Taken(from, to);
    // Nor hard links: the test and the rename as close together as can be.
    struct stat status = {};
    if (::lstat(to.constData(), &status) == 0)
        return Taken(from, to);
    return std::rename(from.constData(), to.constData()) == 0 ? Moved::Done : Moved::Failed;
}

} // namespace

DiskFileStore::~DiskFileStore()
{
    for (const int fd : std::as_const(m_held))
        ::close(fd);
}

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

int DiskFileStore::OpenForRecords(const QString &path, QString &error)
{
    if (path.isEmpty()) {
        error = FileAccessError(path, u"No file name."_s);
        return -1;
    }
    // A symbolic link put in the folder in the file's place is not followed.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666);
    if (fd < 0)
        error = FileAccessError(path, SystemError());
    return fd;
}

bool DiskFileStore::AppendRecord(const QString &path, const QString &text, QString &error)
{
    const int fd = OpenForRecords(path, error);
    if (fd < 0)
        return false;
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
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
        // Never take over a file that is there; the permissions are the umask's.
        const int fd = ::open(QFile::encodeName(name).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                              0666);
        if (fd >= 0) {
            // Locked while held, so that another run sweeping the folder for leftovers
            // leaves it alone.
            ::flock(fd, LOCK_EX | LOCK_NB);
            m_held.insert(name, fd);
            return name;
        }
        // Only a name that happens to be taken is worth another try.
        if (errno != EEXIST) {
            error = FileAccessError(path, SystemError());
            return {};
        }
    }
    error = FileAccessError(path, u"No temporary file could be made."_s);
    return {};
}

int DiskFileStore::TemporaryDescriptor(const QString &temporary) const
{
    return m_held.value(temporary, -1);
}

FileStore::Moved DiskFileStore::MoveOnto(const QString &temporary, const QString &path,
                                         bool replace, QString &error)
{
    const Moved moved = MoveKeeping(temporary, path, replace, error);
    if (moved != Moved::Done)
        RemoveTemporary(temporary);
    return moved;
}

FileStore::Moved DiskFileStore::MoveKeeping(const QString &temporary, const QString &path,
                                            bool replace, QString &error)
{
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(path);
    const int fd = TemporaryDescriptor(temporary);
    // The name must still be the file that was written: what someone put in its place is not
    // moved onto the path.
    struct stat made = {}, named = {};
    if (fd >= 0 && (::fstat(fd, &made) != 0 || ::lstat(from.constData(), &named) != 0)) {
        error = FileAccessError(path, SystemError());
        return Moved::Failed;
    }
    if (fd >= 0 && (made.st_dev != named.st_dev || made.st_ino != named.st_ino)) {
        error = FileAccessError(path, u"The temporary file was replaced while it was written."_s);
        return Moved::Failed;
    }
    // An overwritten file keeps its permissions, as a rewrite in place would; new content
    // from a server never inherits a set-user-ID or set-group-ID bit.
    struct stat old = {};
    if (replace && fd >= 0 && ::lstat(to.constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 0777);
    // A rename replaces the path in one step; a reader never sees a partial file.
    const Moved moved = replace
        ? (std::rename(from.constData(), to.constData()) == 0 ? Moved::Done : Moved::Failed)
        : MoveWithoutReplacing(from, to);
    if (moved == Moved::Failed)
        error = FileAccessError(path, SystemError());
    if (moved == Moved::Done && fd >= 0)
        ::close(m_held.take(temporary));
    return moved;
}

bool DiskFileStore::SyncTemporary(const QString &temporary)
{
    const int fd = TemporaryDescriptor(temporary);
    if (fd < 0)
        errno = EBADF;
    return fd >= 0 && ::fsync(fd) == 0;
}

QString DiskFileStore::NewTemporaryName(const QString &folder)
{
    return folder + u'/' + TemporaryName();
}

bool DiskFileStore::IsHeld(const QString &temporary)
{
    const int fd = ::open(QFile::encodeName(temporary).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Where the file system gives no lock, nobody can tell: it is left alone.
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

bool DiskFileStore::IsTemporaryName(const QString &fileName)
{
    static const QRegularExpression pattern(u"^\\.lh-[0-9a-f]{16}\\.part$"_s);
    return pattern.match(fileName).hasMatch();
}

void DiskFileStore::RemoveTemporary(const QString &temporary)
{
    if (temporary.isEmpty())
        return;
    if (const auto held = m_held.constFind(temporary); held != m_held.cend()) {
        ::close(*held);
        m_held.erase(held);
    }
    // unlink() removes a symbolic link put in its place, never what it points to.
    ::unlink(QFile::encodeName(temporary).constData());
}
