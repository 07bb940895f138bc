#include "runlog.h"

#include "posixfile.h"

#include <QDateTime>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

std::unique_ptr<RunLog> RunLog::Open(const QString &path, Tell tell, QString &error)
{
    // Not blocking: a named pipe without a reader would hold the run before it starts.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0) {
        error = u"The --log file \"%1\" cannot be opened: %2"_s.arg(path, posixfile::SystemError());
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::unique_ptr<RunLog>(new RunLog(fd, path, std::move(tell)));
}

RunLog::~RunLog()
{
    ::close(m_fd);
}

void RunLog::Append(const QString &text)
{
    if (Failed())
        return;
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s);
    QByteArray bytes;
    for (const QString &line : text.split(u'\n', Qt::SkipEmptyParts)) {
        // The run's own time of day, in the system's format, gives way to the stamp.
        const qsizetype arrow = line.indexOf(u" -> "_s);
        const QString message = arrow >= 0 ? line.mid(arrow + 4) : line;
        bytes += (stamp + u" -> "_s + message + u'\n').toUtf8();
    }
    // One write a call: lines of shards appending to one file do not interleave.
    if (posixfile::WriteAll(m_fd, bytes))
        return;
    m_failed = true;
    if (m_tell)
        m_tell(u"The --log file \"%1\" could not be written: %2"_s.arg(m_path,
                                                                       posixfile::SystemError()));
}
