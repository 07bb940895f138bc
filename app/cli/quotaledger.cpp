#include "quotaledger.h"

QuotaLedger::QuotaLedger(RunLedger &inner, qint64 quotaBytes) : m_inner(inner), m_quota(quotaBytes)
{
}

bool QuotaLedger::VisitsPage(qint64 position) const
{
    return !Reached() && m_inner.VisitsPage(position);
}

RunLedger::Verdict QuotaLedger::LinkVerdict(qint64 position, const QString &address,
                                            const QString &path) const
{
    return m_inner.LinkVerdict(position, address, path);
}

bool QuotaLedger::EnoughKnown(bool known)
{
    // The ledger inside counts every link, also once the quota has ended the run.
    const bool enough = m_inner.EnoughKnown(known);
    return enough || Reached();
}

bool QuotaLedger::Faulted() const
{
    return m_inner.Faulted();
}

void QuotaLedger::FileSaved(const QString &, const QString &, qint64 bytes)
{
    m_saved += bytes;
}

// Only the files saved count toward the quota.
void QuotaLedger::PageStarted(qint64, const QString &)
{
}
void QuotaLedger::PageLoaded(const QString &)
{
}
void QuotaLedger::LinksKept(const QString &, qsizetype, qsizetype)
{
}
void QuotaLedger::FileExists(const QString &)
{
}
void QuotaLedger::LinkKnown(const QString &, const QString &)
{
}
void QuotaLedger::SavingFile(const QString &, const QString &, const QString &)
{
}
void QuotaLedger::LinkDone(const QString &, const QString &)
{
}
void QuotaLedger::Failed(int, const QString &, const QString &)
{
}
void QuotaLedger::PageHandled(qint64, std::int32_t)
{
}
