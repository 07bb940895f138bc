#include "archive.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

// How long a run waits for another one that is writing to the archive.
constexpr int kBusyWaitMs = 60000;

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

std::unique_ptr<Archive> Archive::Open(const QString &path, QString &error)
{
    std::unique_ptr<Archive> archive(new Archive(path));
    const auto refuse = [&](const QString &reason) {
        error = u"The archive \"%1\" cannot be used: %2"_s.arg(path, reason);
        return nullptr;
    };
    if (!QSqlDatabase::isDriverAvailable(u"QSQLITE"_s))
        return refuse(u"Qt's SQLite driver is not installed."_s);
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, archive->m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT="_s + QString::number(kBusyWaitMs));
    if (!db.open())
        return refuse(db.lastError().text());
    QSqlQuery create(db);
    if (!create.exec(u"CREATE TABLE IF NOT EXISTS downloads ("
                     u"address TEXT PRIMARY KEY NOT NULL, path TEXT NOT NULL, "
                     u"bytes INTEGER NOT NULL, saved TEXT NOT NULL)"_s))
        return refuse(create.lastError().text());
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
    if (!m_find->exec()) {
        m_error = u"The archive \"%1\" cannot be read: %2"_s.arg(m_path,
                                                                 m_find->lastError().text());
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
    if (!m_add->exec()) {
        m_error = u"The archive \"%1\" cannot be written: %2"_s.arg(m_path,
                                                                    m_add->lastError().text());
        return false;
    }
    return true;
}
