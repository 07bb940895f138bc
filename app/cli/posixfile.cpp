#include "posixfile.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace posixfile {

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

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace posixfile
