#pragma once

#include "runports.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// How a run ended, as the exit status tells it.
enum class RunEnd {
    Completed,        // "Done." was logged
    StoppedByFailure, // a failure ended it under --on-error stop
    Interrupted,      // a signal stopped it
};

struct FailureRecord
{
    int code = 0;
    QString description;
    QString address;      // the page or link the failed step worked on; empty when none
    qint64 position = -1; // of the page in the series, from 0; -1 before the first page
    bool page = false;    // the page failed, before its links were known
};

// What the progress line shows.
struct Progress
{
    qint64 pagesDone = 0;
    std::optional<qint64> seriesPages; // nothing when the series does not end by itself
    qint64 linksKept = 0;
    qint64 files = 0;
    qint64 bytes = 0;
    qint64 failures = 0;
};

// "3/20 pages, 57 kept, 40 files, 1.2 MiB, 310.0 KiB/s, 0:12 elapsed, 0:48 left": short
// enough for a terminal of 80 columns.
QString ProgressText(const Progress &progress, qint64 elapsedMs);

// 1023 B, 1.0 KiB, 3.9 MiB.
QString ByteSize(qint64 bytes);

// The run as it goes, from the engine's events: counts for the progress line and the
// summary, the failures, and the JSON lines of --json.
class RunReport final : public RunObserver
{
public:
    using JsonLine = std::function<void(const QByteArray &line)>;

    // `jsonLine`, when set, receives one compact JSON object with its line feed per event.
    // `skipFailures` says what a failure does, for its JSON line.
    RunReport(std::optional<qint64> seriesPages, bool skipFailures, JsonLine jsonLine = {});
    Q_DISABLE_COPY_MOVE(RunReport)

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
    // `signal`: the one that interrupted the run, for its exit status; 0 counts as SIGINT.
    void Ended(RunEnd end, int itemsDownloaded, int signal = 0);
    // Why the run ended before its series did, for the summary; empty: it did not.
    void SetEndNote(const QString &note) { m_endNote = note; }
    // The run ended at its quota: the note says so, and the exit status is kQuotaReached.
    void SetQuotaReached(const QString &note)
    {
        m_quotaReached = true;
        m_endNote = note;
    }

    Progress CurrentProgress() const { return m_progress; }
    const QList<FailureRecord> &Failures() const { return m_failures; }
    // Before Ended: as if the run had come to its end now.
    int ExitStatus() const;
    // A few lines for standard error.
    QString Summary() const;
    // The lines of --failed (failedlist.h), each once, in the order they failed.
    QByteArray FailedAddresses() const;

private:
    void Emit(const QString &event, QJsonObject fields);

    JsonLine m_jsonLine;
    bool m_skipFailures;
    Progress m_progress;
    qint64 m_pagesStarted = 0;
    qint64 m_position = -1;    // of the page being handled
    bool m_linksKnown = false; // of the page being handled
    qint64 m_known = 0;
    QString m_endNote;
    bool m_quotaReached = false;
    QList<FailureRecord> m_failures;
    RunEnd m_end = RunEnd::Completed;
    int m_signal = 0;
    int m_items = 0;
};
