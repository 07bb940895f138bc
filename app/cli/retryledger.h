#pragma once

#include "failedlist.h"
#include "runports.h"

#include <QHash>
#include <QSet>

// A run that tries the lines of a --failed file again: it visits only the pages they name, a
// page that failed with all its links, a page one of whose links failed for those links alone.
// Everything else it asks of the ledger it wraps, which must outlive it. It also keeps the
// lines that the run did not reach, which still stand as failures.
class RetryLedger final : public RunLedger, public RunObserver
{
public:
    RetryLedger(RunLedger &inner, const QList<failedlist::Entry> &entries);
    Q_DISABLE_COPY_MOVE(RetryLedger)

    bool VisitsPage(qint64 position) const override;
    Verdict LinkVerdict(qint64 position, const QString &address,
                        const QString &path) const override;
    bool EnoughKnown(bool known) override;
    bool Faulted() const override;

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

    // The pages of the list that the ledger inside visits, of a series of that many pages.
    qint64 PagesToVisit(qint64 seriesPages) const;
    // The lines of the pages the run did not handle to their end, as the file had them: a
    // page of no position, of another shard, or one the run ended before.
    QList<QByteArray> Untried() const;

private:
    RunLedger &m_inner;
    QList<failedlist::Entry> m_entries;
    QSet<qint64> m_wholePages;
    QHash<qint64, QSet<QByteArray>> m_links; // by their page's position
    QSet<qint64> m_handled;
};
