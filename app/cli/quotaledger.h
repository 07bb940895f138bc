#pragma once

#include "runports.h"

// The run's quota: once the files it saved hold that many bytes, the run ends as if its series
// had, at the next link's turn, and loads no further page. Everything else it asks of the
// ledger it wraps, which must outlive it.
class QuotaLedger final : public RunLedger, public RunObserver
{
public:
    // A quota of 0 or less: none.
    QuotaLedger(RunLedger &inner, qint64 quotaBytes);
    Q_DISABLE_COPY_MOVE(QuotaLedger)

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

    bool Reached() const { return m_quota > 0 && m_saved >= m_quota; }
    qint64 Saved() const { return m_saved; }

private:
    RunLedger &m_inner;
    qint64 m_quota;
    qint64 m_saved = 0;
};
