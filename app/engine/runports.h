#pragma once

#include "transfer/tryagain.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class JobSettings;
class Transfer;

// What a scrape run needs from the program it runs in. Each port is a pure interface, small
// so that the window implements it with its controls and tests with plain fakes; a port that
// may be absent says what its absence means.

// The controls a run drives.
class RunView
{
public:
    virtual ~RunView() = default;

    virtual void SetGoEnabled(bool enabled) = 0;   // cmdGo
    virtual void SetStopEnabled(bool enabled) = 0; // cmdStop
    // The hourglass pointer over the window; called once on and once off per run.
    virtual void SetBusyPointer(bool busy) = 0;
    // Brings the "Status/View" page of tabMain to the front.
    virtual void ShowStatusPage() = 0;

    // lstLog.
    virtual int LogLineCount() const = 0;
    virtual void ClearLog() = 0;
    // Appends the line and makes it the selected line, so the list scrolls to it.
    virtual void AppendLogLine(const QString &line) = 0;

    virtual void SetStatusText(const QString &text) = 0;      // staMain
    virtual void SetLocationCaption(const QString &text) = 0; // lblLocation, "&&" already doubled
    virtual void SetSourceText(const QString &text) = 0;      // rtfCode
    // The hidden lstCode mirror, replaced whole once a page's links are known.
    virtual void SetCodeList(const QStringList &links) = 0;
};

// The page browser (Browser). Loads end asynchronously: the host reports the end of every
// load to ScrapeRun::LoadEnded.
class PageBrowser
{
public:
    virtual ~PageBrowser() = default;

    virtual void Navigate(const QString &address) = 0;
    // The address of the document currently shown.
    virtual QString LocationURL() const = 0;
    // Reads document.documentElement.outerHTML of the current document and hands it to
    // `deliver` once it has arrived. When there is no document or no root element,
    // `deliver` is not called (or is called with a null text, which counts the same).
    virtual void RequestMarkup(std::function<void(const QString &markup)> deliver) = 0;
    // Ends the load of the page shown, if one is under way.
    virtual void StopLoading() = 0;
    // Whether and when loading the page of the last load that ended again may help; asked once
    // the host has reported that end.
    virtual TryAgain LastTrouble() const = 0;
};

// Pages of the series loading ahead: out of sight in the page browser while the run handles
// an earlier one, at most kPagesAhead at once. Without it every page loads in its turn.
class PagesOutOfSight
{
public:
    virtual ~PagesOutOfSight() = default;

    static constexpr int kPagesAhead = 3;
    using AheadId = quint64; // 0: none

    // Starts loading the address out of sight; 0 when it cannot now.
    virtual AheadId LoadAhead(const QString &address) = 0;
    // How long ago the request of the page ahead went out; -1 while it waits to start.
    virtual qint64 AheadLoadingMs(AheadId id) const = 0;
    enum class Shown {
        Stale,   // not shown: a cookie it would carry changed since its request went out
        Loading, // shown, its load still under way
        Loaded,  // shown, its load over
    };
    // Shows the page loaded ahead as if Navigate(its address) were called now: the end of
    // its load is reported to the host like that of any other load, the markup it had as its
    // load ended then answers RequestMarkup. Either way the page is no longer ahead.
    virtual Shown ShowAhead(AheadId id) = 0;
    // Closes the page loaded ahead, ending its load.
    virtual void CloseAhead(AheadId id) = 0;
    // A page ahead whose load is over, successfully, and which no cookie change has reached
    // since: where it ended up and the markup it had as its load ended.
    struct AheadDocument
    {
        QString location;
        QString markup;
    };
    virtual std::optional<AheadDocument> LoadedAhead(AheadId id) const = 0;
    // Counts the changes of the browser's cookies, those handed to it included: a download
    // started before one may lack a cookie its turn would send.
    virtual quint64 CookieChanges() const = 0;
};

// The run's "Error" box: title "Error", Yes and No, no icon.
class RunPrompt
{
public:
    virtual ~RunPrompt() = default;

    // True for Yes.
    virtual bool AskContinue(const QString &text) = 0;
};

// What a run tells as it goes, for a program that follows it without reading the log or keeps
// a record of its work. Each call comes where the matching log line or question does; a run
// that nobody observes behaves exactly the same.
class RunObserver
{
public:
    virtual ~RunObserver() = default;

    // A visited page of the series is about to load, at this address; `position` counts the
    // pages of the series from 0 in the run's order.
    virtual void PageStarted(qint64 position, const QString &address) = 0;
    // "Source code has been downloaded: "
    virtual void PageLoaded(const QString &address) = 0;
    // "Filters have been applied: ": the page's links found, and kept by the criteria.
    virtual void LinksKept(const QString &page, qsizetype found, qsizetype kept) = 0;
    // "File already exists: "
    virtual void FileExists(const QString &path) = 0;
    // A link an earlier run downloaded: not downloaded again, not counted.
    virtual void LinkKnown(const QString &address, const QString &path) = 0;
    // The link's download is about to move from its temporary file (empty: none) onto the path.
    virtual void SavingFile(const QString &address, const QString &path,
                            const QString &temporary) = 0;
    // A link's content now stands whole at the path.
    virtual void FileSaved(const QString &address, const QString &path, qint64 bytes) = 0;
    // "Download complete: ": the link is counted.
    virtual void LinkDone(const QString &address, const QString &path) = 0;
    // A step failed, right before the "Error" question; the address is the page's or the
    // link's that the step worked on, empty between pages.
    virtual void Failed(int code, const QString &description, const QString &address) = 0;
    // Every link of the page has been handled (or the page failed and was skipped); the count
    // is the run's after it.
    virtual void PageHandled(qint64 position, std::int32_t itemsDownloaded) = 0;
};

// What a run that keeps a record of its work asks besides what the window gives: which pages
// of the series it visits, and what earlier runs left of a link. Without one, every page is
// visited and every link goes its way: the window's behaviour.
class RunLedger
{
public:
    virtual ~RunLedger() = default;

    // A page not visited is neither loaded (not even ahead) nor logged.
    virtual bool VisitsPage(qint64 position) const = 0;

    enum class Verdict {
        New,        // the link goes its way
        SavedWhole, // a run of this page that was cut short saved the link's file whole: it is
                    // not downloaded again, and the link goes on to its address record and count
        Known,      // an earlier run downloaded the address: not again; logged, not counted
        NotThisRun, // another run's to handle: neither downloaded, recorded, logged nor
                    // counted, and not among the known links that EnoughKnown hears of
    };
    // Asked in the link's turn and before it is downloaded ahead; `address` is absolute.
    virtual Verdict LinkVerdict(qint64 position, const QString &address,
                                const QString &path) const = 0;
    // Told of each kept link in its turn, known or not; true ends the run as if its series had.
    virtual bool EnoughKnown(bool known) = 0;
    // The ledger could not keep its record (a journal or archive that cannot be written or
    // read): the run ends at its next check point, as after Stop.
    virtual bool Faulted() const = 0;
};

// The file system, as far as the link output needs it. Each write reports failure with
// a description for the error prompt.
class FileStore
{
public:
    virtual ~FileStore() = default;

    // True when a regular file (hidden or not) is at the path.
    virtual bool FileExists(const QString &path) const = 0;
    // Replaces the file at the path with the bytes, all or nothing.
    [[nodiscard]] virtual bool WriteWhole(const QString &path, const QByteArray &bytes,
                                          QString &error) = 0;
    // Empties (or creates) the file and writes one record.
    [[nodiscard]] virtual bool WriteRecord(const QString &path, const QString &text,
                                           QString &error) = 0;
    // Adds one record at the end of the file, creating it when missing.
    [[nodiscard]] virtual bool AppendRecord(const QString &path, const QString &text,
                                            QString &error) = 0;

    // A download in progress goes into a temporary file beside its path, so that no
    // partial file ever stands at the path itself.
    // A new empty file in the folder of `path`; empty, with `error` set, when none can be made.
    virtual QString CreateTemporaryBeside(const QString &path, QString &error) = 0;
    // The descriptor this store made the temporary file with and still holds, for the download
    // to write through, so that nothing put in its place by name is written to; -1 for none.
    virtual int TemporaryDescriptor(const QString &temporary) const = 0;
    enum class Moved {
        Done,
        PathTaken, // not replacing, and something stood at the path at that moment
        Failed,
    };
    // Moves the finished temporary file onto the path: replacing what is there, or, with
    // `replace` false, only when nothing is. Unless Done, the temporary file is removed.
    [[nodiscard]] virtual Moved MoveOnto(const QString &temporary, const QString &path,
                                         bool replace, QString &error) = 0;
    virtual void RemoveTemporary(const QString &temporary) = 0;
};

// The description of a file that cannot be written, for the error prompt.
QString FileAccessError(const QString &path, const QString &reason);

// A link-address record: the text in double quotes, then CR LF, as UTF-8.
QByteArray RecordBytes(const QString &text);

// The time of day in the system's format with hours, minutes and seconds.
QString SystemTimeOfDay();

// Everything a run is given, by name. The pointers are not owned and must outlive the run.
struct RunPorts
{
    JobSettings *job = nullptr;
    RunView *view = nullptr;
    PageBrowser *browser = nullptr;
    Transfer *transfer = nullptr;
    RunPrompt *prompt = nullptr;
    FileStore *files = nullptr;
    // The pre-run check; false refuses the run (it has told the user why). None: no check.
    std::function<bool()> errorCheck = {};
    // The time-of-day text of a log line; SystemTimeOfDay when not set.
    std::function<QString()> timeOfDay = {};
    // The count a run starts from: 0, or what an interrupted run had counted when a run
    // carries it on.
    std::int32_t countFrom = 0;
    // None: every page loads in its turn.
    PagesOutOfSight *outOfSight = nullptr;
    // Told in this order; none: nobody follows the run.
    QList<RunObserver *> observers = {};
    // None: every page visited, every link downloaded in its turn.
    RunLedger *ledger = nullptr;
};
