#include "bodyfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bodyfile {

namespace {

QString SystemError()
{
    return qt_error_string(errno);
}

} // namespace

int Take(const Transfer::Request &request, QString &error)
{
    int descriptor = -1;
    if (request.descriptor >= 0)
        descriptor = ::fcntl(request.descriptor, F_DUPFD_CLOEXEC, 0);
    else if (!request.file.isEmpty())
        descriptor = ::open(QFile::encodeName(request.file).constData(),
                            O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    else
        return -1;
    if (descriptor < 0)
        error = SystemError();
    return descriptor;
}

void Release(int descriptor)
{
    if (descriptor >= 0)
        ::close(descriptor);
}

bool Empty(int descriptor, QString &error)
{
    struct stat status = {};
    if (::fstat(descriptor, &status) != 0) {
        error = SystemError();
        return false;
    }
    // A device such as /dev/full has nothing to empty, and may not be able to seek.
    if (!S_ISREG(status.st_mode))
        return true;
    if (::ftruncate(descriptor, 0) != 0 || ::lseek(descriptor, 0, SEEK_SET) != 0) {
        error = SystemError();
        return false;
    }
    return true;
}

bool Write(int descriptor, const char *data, qint64 size, QString &error)
{
    // A write cut short (a full disk) tells no reason; writing the rest then does.
    while (size > 0) {
        const ssize_t step = ::write(descriptor, data, size_t(size));
        if (step < 0 && errno == EINTR)
            continue;
        if (step <= 0) {
            error = step < 0 ? SystemError() : qt_error_string(EIO);
            return false;
        }
        data += step;
        size -= step;
    }
    return true;
}

Transfer::Result TooLarge(qint64 maxBytes, const QString &text)
{
    Transfer::Result result;
    result.code = Transfer::TooLargeCode;
    result.description = QStringLiteral("larger than ")
        + (text.isEmpty() ? QString::number(maxBytes) : text);
    return result;
}

} // namespace bodyfile
