#include "downloadsahead.h"

#include "runports.h"

DownloadsAhead::DownloadsAhead(Transfer &transfer, FileStore &files)
    : m_transfer(transfer)
    , m_files(files)
{
}

DownloadsAhead::~DownloadsAhead()
{
    for (auto &[index, held] : m_held)
        Release(held.fetch);
}

void DownloadsAhead::Offer(qsizetype index, const QString &address, const QString &path,
                           const QString &referrer)
{
    QString error;
    const QString temporary = m_files.CreateTemporaryBeside(path, error);
    if (temporary.isEmpty())
        return;
    Drop(index);
    m_held.emplace(
        index,
        Ahead{address, path, Fetch{m_transfer.Start({address, temporary, referrer}), temporary}});
}

std::optional<DownloadsAhead::Fetch> DownloadsAhead::Claim(qsizetype index, const QString &address,
                                                           const QString &path,
                                                           const QString &referrer, QString &error)
{
    if (const auto at = m_held.find(index); at != m_held.end()) {
        if (at->second.address == address && at->second.path == path) {
            const Fetch fetch = at->second.fetch;
            m_held.erase(at);
            return fetch;
        }
        // The link's address or file changed since it was offered: fetch it anew.
        Drop(index);
    }
    const QString temporary = m_files.CreateTemporaryBeside(path, error);
    if (temporary.isEmpty())
        return std::nullopt;
    return Fetch{m_transfer.Start({address, temporary, referrer}), temporary};
}

void DownloadsAhead::Drop(qsizetype index)
{
    if (const auto at = m_held.find(index); at != m_held.end()) {
        Release(at->second.fetch);
        m_held.erase(at);
    }
}

Transfer::Result DownloadsAhead::Finish(Fetch &fetch)
{
    const Transfer::Ticket ticket = fetch.ticket;
    fetch.ticket = 0;
    return m_transfer.Finish(ticket);
}

void DownloadsAhead::Release(Fetch &fetch)
{
    if (fetch.ticket != 0)
        m_transfer.Discard(fetch.ticket);
    fetch.ticket = 0;
    m_files.RemoveTemporary(fetch.temporary);
    fetch.temporary.clear();
}
