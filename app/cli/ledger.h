#pragma once

#include "commandline.h"
#include "diskfilestore.h"
#include "runports.h"

#include <functional>

class Archive;
class Journal;

// What linkhauler-run adds to a run for long series: the pages of its shard that the journal
// does not have as done, the files a cut-short page saved whole, the archive's known links,
// and the end after enough known links in a row; and, observing the run, what the journal and
// the archive record. A journal or archive that cannot be written any more is a fault: it is
// told once, and the run, which reads it at its check points, ends.
class LongRunLedger final : public RunLedger, public RunObserver
{
public:
    using Fault = std::function<void(const QString &message)>;

    // The journal and the archive are optional and must outlive the ledger.
    LongRunLedger(const RunSettings &settings, Journal *journal, Archive *archive, Fault fault);
    Q_DISABLE_COPY_MOVE(LongRunLedger)

    bool VisitsPage(qint64 position) const override;
    Verdict LinkVerdict(qint64 position, const QString &address,
                        const QString &path) const override;
    bool EnoughKnown(bool known) override;
    bool Faulted() const override { return m_faulted; }

    void PageStarted(qint64 position, const QString &address) override;
    void PageLoaded(const QString &address) override;
    void LinksKept(const QString &page, qsizetype found, qsizetype kept) override;
    void FileExists(const QString &path) override;
    void LinkKnown(const QString &address, const QString &path) override;
    void SavingFile(const QString &address, const QString &path, const QString &temporary) override;
    void FileSaved(const QString &address, const QString &path, qint64 bytes) override;
    void LinkDone(const QString &address, const QString &path) override;
    void Failed(int code, const QString &description, const QString &address) override;
    void PageHandled(qint64 position, std::int32_t itemsDownloaded) override;

    // The page being handled.
    qint64 Position() const { return m_position; }
    bool EndedByKnown() const { return m_endedByKnown; }
    // Of a series of that many pages, how many this run visits.
    qint64 PagesToVisit(qint64 seriesPages) const;
    void Fail(const QString &message) const;

private:
    int m_shard, m_shards, m_stopAfterKnown;
    Journal *m_journal;
    Archive *m_archive;
    Fault m_fault;
    mutable bool m_faulted = false;
    qint64 m_position = -1;
    int m_knownInARow = 0;
    bool m_endedByKnown = false;
};

// The disk as DiskFileStore writes it, and besides: every temporary file is in the journal
// before it exists; each all-in-one record is appended under a lock on its file, since shards
// of one series may share the file, with its place noted in the journal first; and a record
// the cut-short run of the page appended already is not appended again.
class LongRunFileStore final : public FileStore
{
public:
    // The journal is optional and, like the ledger, must outlive the store. `stopped` says,
    // without waiting for the event loop, that Stop has been asked for (a signal came).
    LongRunFileStore(Journal *journal, const LongRunLedger &ledger,
                     std::function<bool()> stopped = {});
    Q_DISABLE_COPY_MOVE(LongRunFileStore)

    bool FileExists(const QString &path) const override;
    [[nodiscard]] bool WriteWhole(const QString &path, const QByteArray &bytes,
                                  QString &error) override;
    [[nodiscard]] bool WriteRecord(const QString &path, const QString &text,
                                   QString &error) override;
    [[nodiscard]] bool AppendRecord(const QString &path, const QString &text,
                                    QString &error) override;
    QString CreateTemporaryBeside(const QString &path, QString &error) override;
    int TemporaryDescriptor(const QString &temporary) const override;
    [[nodiscard]] Moved MoveOnto(const QString &temporary, const QString &path, bool replace,
                                 QString &error) override;
    void RemoveTemporary(const QString &temporary) override;

private:
    bool Written(const QString &path, bool written);

    DiskFileStore m_disk;
    Journal *m_journal;
    const LongRunLedger &m_ledger;
    std::function<bool()> m_stopped;
};

// A file a run may remove as a temporary file an earlier run left: one of this program's
// temporary names, directly in the download folder, a plain file, and no run's at present.
bool IsStaleTemporary(const QString &file, const QString &folder);

// Removes the temporary files of this program that an earlier run left: those its journal
// names, each noted there as removed first, and, when no shard may be writing beside it, every
// one in the download folder. False, with the journal's LastError, when the journal could not
// be written; the file it was to note stays then.
bool RemoveStaleTemporaries(const RunSettings &settings, Journal *journal);
