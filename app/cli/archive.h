#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QSqlQuery;

// What earlier runs downloaded, in an SQLite file: every address with the path and the size
// saved. Runs one after another share it; one that finds it busy waits its turn for a while,
// then fails with SQLite's reason instead of writing past the other. A wait ends at once when
// `stopped` says so; the query then has no answer and LastError is empty.
class Archive final
{
public:
    // Opens the archive, creating it when missing; none, with `error`, when it cannot be used.
    // Created owner-only; a symbolic link in its place is refused.
    static std::unique_ptr<Archive> Open(const QString &path, QString &error,
                                         std::function<bool()> stopped = {});
    ~Archive();
    Archive(const Archive &) = delete;
    Archive &operator=(const Archive &) = delete;

    // None when it cannot be read; LastError then tells why.
    std::optional<bool> Holds(const QString &address);
    bool Add(const QString &address, const QString &path, qint64 bytes);
    QString LastError() const { return m_error; }

private:
    explicit Archive(QString path);
    // Runs the query, again while another run holds the archive.
    bool Exec(QSqlQuery &query);

    QString m_path;
    QString m_connection;
    QString m_error;
    std::function<bool()> m_stopped;
    bool m_wasStopped = false;
    std::unique_ptr<QSqlQuery> m_find, m_add;
};
