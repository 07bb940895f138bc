#pragma once

#include "transfer/transfer.h"

#include <QString>

#include <map>
#include <optional>

class FileStore;

// The downloads of one page's links, fetched ahead while the run handles earlier links in
// list order. Each goes into a temporary file beside its target; whatever is still held
// when this object ends is cancelled and its file removed, so Stop, No at a prompt or a
// closed window leave nothing behind.
class DownloadsAhead
{
public:
    struct Fetch
    {
        Transfer::Ticket ticket = 0; // 0 once finished
        QString temporary;           // empty once moved onto its path or removed
    };

    DownloadsAhead(Transfer &transfer, FileStore &files);
    ~DownloadsAhead();
    DownloadsAhead(const DownloadsAhead &) = delete;
    DownloadsAhead &operator=(const DownloadsAhead &) = delete;

    // How many fetches have been started ahead and not yet claimed.
    int Held() const { return static_cast<int>(m_held.size()); }
    // Starts fetching the address of the link at `index` into a temporary file beside
    // `path`, as from the `referrer` page; nothing happens when no such file can be made (the
    // run fetches it itself).
    void Offer(qsizetype index, const QString &address, const QString &path,
               const QString &referrer);
    // The fetch of the link at `index`: the one held when it is of this address into this
    // path, otherwise one started now. None when no temporary file can be made.
    std::optional<Fetch> Claim(qsizetype index, const QString &address, const QString &path,
                               const QString &referrer, QString &error);
    // The link at `index` is not downloaded after all.
    void Drop(qsizetype index);

    // Waits for the fetch to end.
    Transfer::Result Finish(Fetch &fetch);
    // Ends the fetch if it still runs and removes its file if it is still there.
    void Release(Fetch &fetch);

private:
    struct Ahead
    {
        QString address, path;
        Fetch fetch;
    };

    Transfer &m_transfer;
    FileStore &m_files;
    std::map<qsizetype, Ahead> m_held;
};
