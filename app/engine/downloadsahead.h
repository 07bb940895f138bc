#pragma once

#include "runports.h"
#include "transfer/transfer.h"

#include <QSet>
#include <QString>

#include <functional>
#include <map>
#include <optional>

struct ResolvedLink;

// The downloads of one page's links, started ahead of their turn while the run handles earlier
// links in list order. Each goes into a temporary file beside its target; whatever is still in
// flight when this object ends is cancelled and its file removed, so Stop, No at a prompt or a
// closed window leave nothing behind.
class DownloadsAhead
{
public:
    struct Download
    {
        Transfer::Ticket ticket = 0; // 0 once finished
        QString temporary;           // empty once moved onto its path or removed
    };

    DownloadsAhead(Transfer &transfer, FileStore &files);
    ~DownloadsAhead();
    DownloadsAhead(const DownloadsAhead &) = delete;
    DownloadsAhead &operator=(const DownloadsAhead &) = delete;

    // How many downloads have been started ahead and not yet claimed.
    int InFlight() const { return static_cast<int>(m_ahead.size()); }
    // Starts the download of the link at `index` into a temporary file beside `path`, as from
    // the `referrer` page; nothing happens when no such file can be made (the turn downloads it
    // itself).
    void Offer(qsizetype index, const QString &address, const QString &path,
               const QString &referrer);
    // The download of the link at `index`: the one ahead when it is of this address into this
    // path, otherwise one started now. None when no temporary file can be made.
    std::optional<Download> Claim(qsizetype index, const QString &address, const QString &path,
                                  const QString &referrer, QString &error);
    // The link at `index` is not downloaded after all.
    void Drop(qsizetype index);

    // Waits for the download to end.
    Transfer::Result Finish(Download &download);
    // Ends the download if it still runs and removes its file if it is still there.
    void Release(Download &download);

private:
    Download Start(const QString &address, const QString &temporary, const QString &referrer);

    struct Ahead
    {
        QString address, path;
        Download download;
    };

    Transfer &m_transfer;
    FileStore &m_files;
    std::map<qsizetype, Ahead> m_ahead;
};

// How far a page's links have been looked at for downloading ahead, and the names they take.
struct DownloadPlan
{
    qsizetype next = 0;
    QSet<QString> paths;
};

// The page whose links a plan looks at.
struct PlannedPage
{
    qsizetype links = 0; // its kept links
    std::function<ResolvedLink(qsizetype index)> resolve;
    qint64 position = 0;
    QString referrer; // the page its downloads go out from
};

// Which links of a page start downloading ahead of their turn: only what the link's own turn
// would download. A guess that turns out wrong in the turn is dropped there, and the link
// downloaded then.
class DownloadPlanner final
{
public:
    DownloadPlanner(const JobSettings &job, const FileStore &files, const RunLedger &ledger);

    // Offers the page's links from plan.next on to `ahead` while fewer than MaxParallel
    // downloads run, counting `elsewhere` of another page's. Without overwriting, a name taken
    // earlier in the plan or in `taken` is there by the link's turn.
    void Plan(const PlannedPage &page, DownloadsAhead &ahead, DownloadPlan &plan, int elsewhere = 0,
              const QSet<QString> &taken = {}) const;

private:
    const JobSettings &m_job;
    const FileStore &m_files;
    const RunLedger &m_ledger;
};
