#include "posixfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace posixfile {

namespace {

// Another process holds a record's lock only while it appends one record.
constexpr unsigned long kLockPollMs = 10;

} // namespace

bool WriteAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const auto written = ::write(fd, bytes.constData() + done,
                                     static_cast<std::size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC; // nothing written and no reason given: the disk is full
            return false;
        }
        done += written;
    }
    return true;
}

bool Exists(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

bool IsPlainFile(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

bool Sync(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int reason = errno;
    ::close(fd);
    errno = reason;
    return synced;
}

bool SameFile(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    struct stat first = {}, second = {};
    if (::stat(QFile::encodeName(a).constData(), &first) == 0
        && ::stat(QFile::encodeName(b).constData(), &second) == 0)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath())
        == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

Locked LockWhole(int fd, int waitMs, const std::function<bool()> &stopped)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (::fcntl(fd, F_SETLK, &lock) == 0)
            return Locked::Yes;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EACCES)
            return Locked::Failed;
        // EACCES also comes from file systems without locks: only a lock someone holds is
        // worth waiting for.
        const int refused = errno;
        struct flock holder = {};
        holder.l_type = F_WRLCK;
        holder.l_whence = SEEK_SET;
        if (::fcntl(fd, F_GETLK, &holder) != 0 || holder.l_type == F_UNLCK) {
            errno = refused == EACCES ? ENOLCK : refused;
            return Locked::Failed;
        }
        if (stopped && stopped())
            return Locked::Stopped;
        if (waited.hasExpired(waitMs)) {
            errno = ETIMEDOUT;
            return Locked::Failed;
        }
        QThread::msleep(kLockPollMs);
    }
}

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

std::optional<QByteArray> ReadRegular(const QString &path, qint64 mostBytes, QString &why)
{
    const QString tooLarge = QStringLiteral("is larger than %1 MiB").arg(mostBytes / 1024 / 1024);
    // Not blocking: a named pipe would hold the program before it starts.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = QStringLiteral("cannot be read: ") + SystemError();
        return std::nullopt;
    }
    QByteArray text;
    struct stat status = {};
    why.clear();
    if (::fstat(fd, &status) != 0)
        why = QStringLiteral("cannot be read: ") + SystemError();
    else if (!S_ISREG(status.st_mode))
        why = QStringLiteral("is not a regular file");
    else if (status.st_size > mostBytes)
        why = tooLarge;
    else {
        // Room for the file as it is, and one byte more: that shows a file that grew since,
        // which gets more room up to one byte over the bound.
        text.resize(status.st_size + 1);
        qsizetype got = 0;
        for (;;) {
            const auto n = ::read(fd, text.data() + got,
                                  static_cast<std::size_t>(text.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                why = QStringLiteral("cannot be read: ") + SystemError();
            if (n <= 0)
                break;
            got += n;
            if (got == text.size()) {
                if (got > mostBytes)
                    break;
                text.resize(std::min<qint64>(2 * got, mostBytes + 1));
            }
        }
        text.truncate(got);
        if (why.isEmpty() && got > mostBytes)
            why = tooLarge;
    }
    ::close(fd);
    if (!why.isEmpty())
        return std::nullopt;
    return text;
}

} // namespace posixfile
