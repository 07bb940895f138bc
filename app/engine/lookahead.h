#pragma once

#include "downloadsahead.h"
#include "pageloader.h"
#include "runports.h"
#include "seriescursor.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class RunControl;

// The run's look ahead, for a page browser that loads pages out of sight: the next pages of the
// series load ahead while the run handles this one, each shown in its turn; and once this
// page's links are all on their way, the next page's first downloads start into the room they
// leave. What it starts is the same as its turn would start; whatever the turn finds otherwise
// is dropped and done anew there.
class LookAhead final : public PagesAhead
{
public:
    LookAhead(PagesOutOfSight &browser, const RunPorts &ports, RunControl &control,
              const DownloadPlanner &planner);
    ~LookAhead() override;
    Q_DISABLE_COPY_MOVE(LookAhead)

    // A run begins or ends: nothing is ahead, and nothing loads ahead before a page has loaded.
    void Reset();
    // Closes every page ahead (Stop).
    void CloseAll();

    // The page whose turn it is, and the series past it, as the run walks it.
    void SetTurn(const linkrules::SeriesCursor &series, const linkrules::SeriesPage &page);
    // The page of this turn has loaded: whatever cookies it set are in the store for the pages
    // after it, which start loading now.
    void PageArrived();

    std::optional<qint64> ShowInItsTurn(const QString &address, int seconds, bool again) override;
    void LoadMore() override;

    // The downloads the page before started for this page, when they were made from the very
    // markup this turn took, for its links as they are filtered now, and with every cookie the
    // downloads before them brought; none otherwise.
    std::unique_ptr<DownloadsAhead> TakeDownloads(double number, const QStringList &links,
                                                  DownloadPlan &plan);
    // This page's links are on their way as far as `plan` says: once they all are, the next
    // page's first downloads start into the room they leave.
    void PlanNext(const DownloadsAhead &current, const DownloadPlan &plan, qsizetype links);

private:
    // A later page of the series, loading out of sight.
    struct Page
    {
        PagesOutOfSight::AheadId id = 0;
        QString address; // as it will be navigated to
        int seconds = 0; // the time-out in force as it was asked for
        double number = 0;
        qint64 position = 0;
    };
    // The next page's first downloads, started while this page's last ones come in.
    struct NextDownloads
    {
        PagesOutOfSight::AheadId page = 0;
        double number = 0;
        qint64 position = 0;
        QString location;
        QStringList links;
        DownloadPlan plan;
        std::unique_ptr<DownloadsAhead> ahead;
        quint64 cookieChanges = 0; // the browser's, as they started
    };

    QList<Page> Foresee() const;
    std::optional<Page> TakeFirst(const QString &address, int seconds);
    // The next page's downloads for the first page ahead, its links read from the markup it
    // had as its load ended; false when it has not loaded yet.
    bool BeginNext(const Page &page);

    PagesOutOfSight &m_browser;
    const RunPorts &m_ports;
    RunControl &m_control;
    const DownloadPlanner &m_planner;

    std::optional<linkrules::SeriesCursor> m_series; // past the page of this turn
    linkrules::SeriesPage m_page;
    QList<Page> m_pages;      // in the order the run will reach them
    bool m_loadAhead = false; // once a page of the run has loaded
    int m_reloaded = 0;       // pages ahead found stale in their turn, one after another
    PagesOutOfSight::AheadId m_shown = 0; // the page ahead this turn shows, if any
    std::optional<NextDownloads> m_next;
    int m_nextDropped = 0; // next pages' downloads a cookie change cost, one after another
};
