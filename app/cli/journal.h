#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

// The journal of a long run: one JSON object a line, appended as the run goes. Its first line
// names the job (every field, and a fingerprint of them) and the shard; then, for each page of
// the series, the page's start, the temporary files made, each file about to be saved and
// saved, each address record about to be appended (with where it lands), and the page's end
// with the count after it; and the temporary files a run removed as left over by another. A
// page's end, a file about to be saved and a removal reach the disk before the run goes on; the
// rest is written at once, which a killed process does not lose.
//
// Read back, it tells a run carried on with the same job which pages are done, the count so
// far, and of a page that was cut short which files stand whole and which records are in
// their files already, so that the page ends as it would have without the cut.
class Journal final
{
public:
    struct Identity
    {
        QJsonObject job; // every field under its control's name
        int shard = 0;
        int shards = 1;
    };

    // Opens the journal, creating it when missing, and keeps it locked against a second run.
    // A journal of another job or another shard is refused, with the message in `error`.
    static std::unique_ptr<Journal> Open(const QString &path, const Identity &identity,
                                         QString &error);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // What earlier runs left.
    bool Done(qint64 position) const { return m_done.contains(position); }
    qint64 DoneCount() const { return m_done.size(); }
    std::int32_t ItemsSoFar() const { return m_items; }
    // The link's file, saved by a cut-short run of the page, stands whole at the path.
    bool SavedWhole(qint64 position, const QString &address, const QString &path) const;
    struct SavedFile
    {
        QString address, path;
    };
    QList<SavedFile> SavedWholeFiles() const;
    // The record a cut-short run of the page appended to the file and that is there: taken
    // once, true when there was one.
    bool TakeAppended(qint64 position, const QString &file, const QString &text);
    // Temporary files earlier runs made that are still there.
    QStringList LeftoverTemporaries() const;
    // Noted before a leftover temporary file is removed: a file about to be saved whose
    // temporary is gone counts as moved onto its path, unless a run removed it.
    bool TemporaryRemoved(const QString &temporary);

    // Writing; false, with LastError, when the journal could not be written.
    bool PageStarted(qint64 position);
    bool TemporaryMade(const QString &temporary);
    bool Saving(const QString &address, const QString &path, const QString &temporary);
    bool Saved(const QString &address, const QString &path);
    bool Appending(const QString &file, qint64 at, const QString &text);
    // The page wrote to the file or folder: it reaches the disk before the page is marked done.
    void Unsynced(const QString &path) { m_unsynced.insert(path); }
    bool PageDone(qint64 position, std::int32_t items);
    QString LastError() const { return m_error; }

private:
    Journal(QString path, int fd);
    bool Read(const Identity &identity, QString &error);
    // Takes in one entry of an earlier run; what is wrong with it, if anything.
    std::optional<QString> Take(const QByteArray &line);
    bool Truncate(qint64 length, QString &error);
    bool Write(const QJsonObject &entry, bool toDisk);

    struct Record
    {
        QString file, text;
        qint64 at = 0;
        qint64 length = 0; // of the record in its file
    };
    // Of a page begun and not ended.
    struct Unfinished
    {
        QList<SavedFile> saving; // with their temporaries in `temporaries`
        QSet<QString> saved;     // address and path
        QList<Record> records;
        QSet<QString> whole;    // address and path of files that stand whole
        QList<Record> appended; // records that are in their files
    };

    QString m_path;
    int m_fd = -1;
    QString m_error;
    QSet<qint64> m_done;
    std::int32_t m_items = 0;
    QHash<qint64, Unfinished> m_unfinished;
    QHash<QString, QString> m_savingTemporary; // address and path to its temporary
    QStringList m_temporaries;
    QSet<QString> m_removed; // temporaries a run removed as left over
    qint64 m_current = -1;   // while reading: the page under way
    QSet<QString> m_unsynced;
};
