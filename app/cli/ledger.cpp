#include "ledger.h"

#include "archive.h"
#include "journal.h"
#include "posixfile.h"
#include "safetext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using posixfile::SystemError;

namespace {

// How long an address record waits for another shard that holds its file.
constexpr int kLockWaitMs = 60000;

} // namespace

LongRunLedger::LongRunLedger(const RunSettings &settings, Journal *journal, Archive *archive,
                             Fault fault)
    : m_shard(settings.shard)
    , m_shards(settings.shards)
    , m_stopAfterKnown(settings.stopAfterKnown)
    , m_journal(journal)
    , m_archive(archive)
    , m_fault(std::move(fault))
{
    // A file the cut-short run saved may not have reached the archive before the cut.
    if (m_journal && m_archive)
        for (const Journal::SavedFile &file : m_journal->SavedWholeFiles())
            if (!m_archive->Add(file.address, file.path, QFileInfo(file.path).size()))
                Fail(m_archive->LastError());
}

void LongRunLedger::Fail(const QString &message) const
{
    if (m_faulted)
        return;
    m_faulted = true;
    if (m_fault)
        m_fault(message);
}

bool LongRunLedger::VisitsPage(qint64 position) const
{
    return position % m_shards == m_shard && !(m_journal && m_journal->Done(position));
}

qint64 LongRunLedger::PagesToVisit(qint64 seriesPages) const
{
    const qint64 ofShard = seriesPages > m_shard ? (seriesPages - m_shard + m_shards - 1) / m_shards
                                                 : 0;
    return std::max<qint64>(ofShard - (m_journal ? m_journal->DoneCount() : 0), 0);
}

void LongRunLedger::PageStarted(qint64 position, const QString &address)
{
    Q_UNUSED(address);
    m_position = position;
    if (m_journal && !m_faulted && !m_journal->PageStarted(position))
        Fail(m_journal->LastError());
}

void LongRunLedger::PageHandled(qint64 position, std::int32_t itemsDownloaded)
{
    if (m_journal && !m_faulted && !m_journal->PageDone(position, itemsDownloaded))
        Fail(m_journal->LastError());
}

RunLedger::Verdict LongRunLedger::LinkVerdict(qint64 position, const QString &address,
                                              const QString &path) const
{
    // The journal and the archive keep addresses as they are printed: without a password.
    const QString kept = safetext::HideUserInfo(address);
    if (m_journal && m_journal->SavedWhole(position, kept, path))
        return Verdict::SavedWhole;
    if (!m_archive)
        return Verdict::New;
    const std::optional<bool> known = m_archive->Holds(kept);
    if (!known && !m_archive->LastError().isEmpty()) // none: Stop ended its wait
        Fail(m_archive->LastError());
    return known.value_or(false) ? Verdict::Known : Verdict::New;
}

bool LongRunLedger::EnoughKnown(bool known)
{
    m_knownInARow = known ? m_knownInARow + 1 : 0;
    if (m_stopAfterKnown > 0 && m_knownInARow >= m_stopAfterKnown)
        m_endedByKnown = true;
    return m_endedByKnown;
}

// What the journal and the archive do not record.
void LongRunLedger::PageLoaded(const QString &)
{
}
void LongRunLedger::LinksKept(const QString &, qsizetype, qsizetype)
{
}
void LongRunLedger::FileExists(const QString &)
{
}
void LongRunLedger::LinkKnown(const QString &, const QString &)
{
}
void LongRunLedger::LinkDone(const QString &, const QString &)
{
}
void LongRunLedger::Failed(int, const QString &, const QString &)
{
}

void LongRunLedger::SavingFile(const QString &address, const QString &path,
                               const QString &temporary)
{
    if (m_journal && !m_faulted
        && !m_journal->Saving(safetext::HideUserInfo(address), path, temporary))
        Fail(m_journal->LastError());
}

void LongRunLedger::FileSaved(const QString &address, const QString &path, qint64 bytes)
{
    const QString kept = safetext::HideUserInfo(address);
    if (m_journal && !m_faulted && !m_journal->Saved(kept, path))
        Fail(m_journal->LastError());
    if (m_archive && !m_archive->Add(kept, path, bytes) && !m_archive->LastError().isEmpty())
        Fail(m_archive->LastError());
}

LongRunFileStore::LongRunFileStore(Journal *journal, const LongRunLedger &ledger,
                                   std::function<bool()> stopped)
    : m_journal(journal)
    , m_ledger(ledger)
    , m_stopped(std::move(stopped))
{
}

bool LongRunFileStore::FileExists(const QString &path) const
{
    return m_disk.FileExists(path);
}

bool LongRunFileStore::WriteWhole(const QString &path, const QByteArray &bytes, QString &error)
{
    return Written(path, m_disk.WriteWhole(path, bytes, error));
}

bool LongRunFileStore::WriteRecord(const QString &path, const QString &text, QString &error)
{
    return Written(path, m_disk.WriteRecord(path, text, error));
}

bool LongRunFileStore::Written(const QString &path, bool written)
{
    // It replaced the path: its data and the folder's new entry.
    if (written && m_journal) {
        m_journal->Unsynced(path);
        m_journal->Unsynced(QFileInfo(path).absolutePath());
    }
    return written;
}

bool LongRunFileStore::AppendRecord(const QString &path, const QString &text, QString &error)
{
    if (m_journal && m_journal->TakeAppended(m_ledger.Position(), path, text))
        return true;
    const int fd = DiskFileStore::OpenForRecords(path, error);
    if (fd < 0)
        return false;
    const auto closed = qScopeGuard([fd] { ::close(fd); }); // and unlocked
    // Held until the record is in: a shard appending to the same file waits, and where this
    // record lands is known. Without the lock nothing is appended, and the run ends.
    switch (posixfile::LockWhole(fd, kLockWaitMs, m_stopped)) {
    case posixfile::Locked::Yes:
        break;
    case posixfile::Locked::Stopped:
        // Stop reaches the run now, which then ends instead of asking about this record.
        QCoreApplication::processEvents();
        error = FileAccessError(path, u"Stopped while another run held the file."_s);
        return false;
    case posixfile::Locked::Failed:
        error = FileAccessError(path, u"The file cannot be locked: "_s + SystemError());
        m_ledger.Fail(error);
        return false;
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0) {
        error = FileAccessError(path, SystemError());
        return false;
    }
    if (m_journal && !m_journal->Appending(path, status.st_size, text))
        m_ledger.Fail(m_journal->LastError());
    const QByteArray record = RecordBytes(text);
    if (!posixfile::WriteAll(fd, record)) {
        error = FileAccessError(path, SystemError());
        return false;
    }
    if (m_journal)
        m_journal->Unsynced(path);
    return true;
}

QString LongRunFileStore::CreateTemporaryBeside(const QString &path, QString &error)
{
    if (!m_journal || path.isEmpty())
        return m_disk.CreateTemporaryBeside(path, error);
    // Named in the journal before it exists, so that no cut leaves one nobody knows of.
    bool unrecorded = false;
    const QString made = m_disk.CreateTemporaryBeside(path, error, [&](const QString &name) {
        unrecorded = !m_journal->TemporaryMade(name);
        return !unrecorded;
    });
    if (!unrecorded)
        return made;
    m_ledger.Fail(m_journal->LastError());
    return m_disk.CreateTemporaryBeside(path, error);
}

int LongRunFileStore::TemporaryDescriptor(const QString &temporary) const
{
    return m_disk.TemporaryDescriptor(temporary);
}

FileStore::Moved LongRunFileStore::MoveOnto(const QString &temporary, const QString &path,
                                            bool replace, QString &error)
{
    // A journal takes a temporary file gone for one moved onto its path, whole: its bytes are on
    // the disk before the move, and the move is before the page is marked done.
    Moved moved = Moved::Failed;
    if (m_journal && !m_disk.SyncTemporary(temporary))
        error = FileAccessError(path, SystemError());
    else
        moved = m_disk.MoveKeeping(temporary, path, replace, error);
    if (moved == Moved::Done) {
        if (m_journal)
            m_journal->Unsynced(QFileInfo(path).absolutePath());
        return moved;
    }
    // Not moved after all: noted before it goes, or the journal would take it for moved.
    if (m_journal && !m_journal->TemporaryRemoved(temporary))
        m_ledger.Fail(m_journal->LastError());
    RemoveTemporary(temporary);
    return moved;
}

void LongRunFileStore::RemoveTemporary(const QString &temporary)
{
    m_disk.RemoveTemporary(temporary);
}

bool IsStaleTemporary(const QString &file, const QString &folder)
{
    // Only what this program could have made there: the journal is no instruction to remove
    // anything else, nor to follow a link someone put in the folder. Nor what another run
    // sharing the folder is writing now.
    const QFileInfo info(file);
    return !folder.isEmpty() && DiskFileStore::IsTemporaryName(info.fileName())
        && QDir::cleanPath(info.absolutePath()) == QDir::cleanPath(QDir(folder).absolutePath())
        && posixfile::IsPlainFile(file) && !DiskFileStore::IsHeld(file);
}

bool RemoveStaleTemporaries(const RunSettings &settings, Journal *journal)
{
    const QString folder = settings.job.saveLinksFolder;
    if (journal) {
        for (const QString &file : journal->LeftoverTemporaries()) {
            if (!IsStaleTemporary(file, folder))
                continue;
            if (!journal->TemporaryRemoved(file))
                return false;
            QFile::remove(file);
        }
    }
    if (settings.shards == 1 && !folder.isEmpty()) {
        const QDir dir(folder);
        for (const QString &name : dir.entryList({u".lh-*.part"_s}, QDir::Files | QDir::Hidden))
            if (IsStaleTemporary(dir.filePath(name), folder))
                QFile::remove(dir.filePath(name));
    }
    return true;
}
