#include "downloadsahead.h"

#include "jobsettings.h"
#include "resolvedlink.h"

DownloadsAhead::DownloadsAhead(Transfer &transfer, FileStore &files)
    : m_transfer(transfer)
    , m_files(files)
{
}

DownloadsAhead::~DownloadsAhead()
{
    for (auto &[index, ahead] : m_ahead)
        Release(ahead.download);
}

void DownloadsAhead::Offer(qsizetype index, const QString &address, const QString &path,
                           const QString &referrer)
{
    QString error;
    const QString temporary = m_files.CreateTemporaryBeside(path, error);
    if (temporary.isEmpty())
        return;
    Drop(index);
    m_ahead.emplace(index, Ahead{address, path, Start(address, temporary, referrer)});
}

std::optional<DownloadsAhead::Download> DownloadsAhead::Claim(qsizetype index,
                                                              const QString &address,
                                                              const QString &path,
                                                              const QString &referrer,
                                                              QString &error)
{
    if (const auto at = m_ahead.find(index); at != m_ahead.end()) {
        if (at->second.address == address && at->second.path == path) {
            const Download download = at->second.download;
            m_ahead.erase(at);
            return download;
        }
        // The link's address or file changed since it was offered: download it anew.
        Drop(index);
    }
    const QString temporary = m_files.CreateTemporaryBeside(path, error);
    if (temporary.isEmpty())
        return std::nullopt;
    return Start(address, temporary, referrer);
}

DownloadsAhead::Download DownloadsAhead::Start(const QString &address, const QString &temporary,
                                               const QString &referrer)
{
    // Written through the descriptor the file was made with, never reopened by its name.
    return Download{m_transfer.Start({.address = address,
                                      .file = temporary,
                                      .referrer = referrer,
                                      .descriptor = m_files.TemporaryDescriptor(temporary)}),
                    temporary};
}

void DownloadsAhead::Drop(qsizetype index)
{
    if (const auto at = m_ahead.find(index); at != m_ahead.end()) {
        Release(at->second.download);
        m_ahead.erase(at);
    }
}

Transfer::Result DownloadsAhead::Finish(Download &download)
{
    const Transfer::Ticket ticket = download.ticket;
    download.ticket = 0;
    return m_transfer.Finish(ticket);
}

void DownloadsAhead::Release(Download &download)
{
    if (download.ticket != 0)
        m_transfer.Discard(download.ticket);
    download.ticket = 0;
    m_files.RemoveTemporary(download.temporary);
    download.temporary.clear();
}

DownloadPlanner::DownloadPlanner(const JobSettings &job, const FileStore &files,
                                 const RunLedger &ledger)
    : m_job(job)
    , m_files(files)
    , m_ledger(ledger)
{
}

void DownloadPlanner::Plan(const PlannedPage &page, DownloadsAhead &ahead, DownloadPlan &plan,
                           int elsewhere, const QSet<QString> &taken) const
{
    if (!SavesLinks(m_job))
        return;
    const bool overwrite = m_job.chkOverwrite() == 1;
    while (plan.next < page.links && ahead.InFlight() + elsewhere < Transfer::MaxParallel) {
        const qsizetype index = plan.next++;
        const ResolvedLink link = page.resolve(index);
        if (link.pathFailure || link.addressFailure)
            continue; // its turn reports the rule's failure
        const QString &path = link.path;
        if ((!overwrite && (plan.paths.contains(path) || taken.contains(path)))
            || KeepsExisting(m_job, m_files, path)
            || m_ledger.LinkVerdict(page.position, link.source, path) != RunLedger::Verdict::New)
            continue;
        plan.paths.insert(path);
        ahead.Offer(index, link.source, path, page.referrer);
    }
}
