#include "archive.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// How long a run waits for another one that is writing to the archive, and how often it looks.
constexpr int kBusyWaitMs = 60000;
constexpr int kBusyStepMs = 50;

// SQLITE_BUSY and SQLITE_LOCKED: another connection holds what the query needs.
bool Busy(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    return code == u"5"_s || code == u"6"_s || code.startsWith(u"5 "_s);
}

} // namespace

Archive::Archive(QString path) : m_path(std::move(path))
{
    static std::atomic<int> opened{0};
    m_connection = u"archive-"_s + QString::number(++opened);
}

Archive::~Archive()
{
    m_find.reset();
    m_add.reset();
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

std::unique_ptr<Archive> Archive::Open(const QString &path, QString &error,
                                       std::function<bool()> stopped)
{
    std::unique_ptr<Archive> archive(new Archive(path));
    archive->m_stopped = std::move(stopped);
    const auto refuse = [&](const QString &reason) {
        error = u"The archive \"%1\" cannot be used: %2"_s.arg(path, reason);
        return nullptr;
    };
    if (!QSqlDatabase::isDriverAvailable(u"QSQLITE"_s))
        return refuse(u"Qt's SQLite driver is not installed."_s);
    // Made here, owner-only, before SQLite makes it with the umask's permissions; what is
    // there must be a plain file.
    const QByteArray name = QFile::encodeName(path);
    if (const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        fd >= 0)
        ::close(fd);
    else if (errno != EEXIST)
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status = {};
    if (::lstat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return refuse(u"It is not a plain file."_s);
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, archive->m_connection);
    db.setDatabaseName(path);
    // SQLite's own wait cannot be stopped: a short one, and the rest is ours.
    db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT="_s + QString::number(kBusyStepMs));
    if (!db.open())
        return refuse(db.lastError().text());
    QSqlQuery create(db);
    create.prepare(u"CREATE TABLE IF NOT EXISTS downloads ("
                   u"address TEXT PRIMARY KEY NOT NULL, path TEXT NOT NULL, "
                   u"bytes INTEGER NOT NULL, saved TEXT NOT NULL)"_s);
    if (!archive->Exec(create))
        return refuse(archive->m_wasStopped ? u"Stopped while another run held it."_s
                                            : create.lastError().text());
    archive->m_find = std::make_unique<QSqlQuery>(db);
    archive->m_add = std::make_unique<QSqlQuery>(db);
    if (!archive->m_find->prepare(u"SELECT 1 FROM downloads WHERE address = ?"_s))
        return refuse(archive->m_find->lastError().text());
    if (!archive->m_add->prepare(u"INSERT OR REPLACE INTO downloads (address, path, bytes, saved) "
                                 u"VALUES (?, ?, ?, ?)"_s))
        return refuse(archive->m_add->lastError().text());
    return archive;
}

std::optional<bool> Archive::Holds(const QString &address)
{
    m_find->bindValue(0, address);
    if (!Exec(*m_find)) {
        m_error = m_wasStopped
            ? QString()
            : u"The archive \"%1\" cannot be read: %2"_s.arg(m_path, m_find->lastError().text());
        return std::nullopt;
    }
    const bool found = m_find->next();
    m_find->finish();
    return found;
}

bool Archive::Add(const QString &address, const QString &path, qint64 bytes)
{
    m_add->bindValue(0, address);
    m_add->bindValue(1, path);
    m_add->bindValue(2, bytes);
    m_add->bindValue(3, QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    if (!Exec(*m_add)) {
        m_error = m_wasStopped
            ? QString()
            : u"The archive \"%1\" cannot be written: %2"_s.arg(m_path, m_add->lastError().text());
        return false;
    }
    return true;
}

bool Archive::Exec(QSqlQuery &query)
{
    m_wasStopped = false;
    QElapsedTimer waited;
    waited.start();
    while (!query.exec()) {
        if (!Busy(query.lastError()) || waited.hasExpired(kBusyWaitMs))
            return false;
        if (m_stopped && m_stopped()) {
            m_wasStopped = true;
            return false;
        }
        QThread::msleep(kBusyStepMs);
    }
    return true;
}
