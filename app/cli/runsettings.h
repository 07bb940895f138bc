#pragma once

#include "cookiesfile.h"
#include "failedlist.h"
#include "jobsettings.h"

#include <QByteArray>
#include <QList>

#include <QString>
#include <QStringList>

// What the command line asks of one unattended run.

// What a failure during the run does, in place of the window's "Error" question.
enum class ErrorPolicy {
    Skip, // Yes: the failed step is skipped and the run goes on
    Stop, // No: the run ends
};

struct RunSettings
{
    JobFields job;
    // Answers the window's "no criteria" question with Yes.
    bool allLinks = false;
    ErrorPolicy onError = ErrorPolicy::Skip;
    // One JSON object a line on standard output instead of the log lines.
    bool json = false;
    // Nothing on standard output, and on standard error only failures and the summary.
    bool quiet = false;
    // Receives the log lines too, each with the date and time; empty: none.
    QString logFile;
    // Off a terminal, a progress line on standard error this often; 0: never.
    int progressEverySeconds = 60;
    // A log line for each request of a download: its address, status, bytes and time.
    bool verbose = false;
    // Receives the failed addresses, one a line; empty: none.
    QString failedFile;
    // The lines of a --failed file that this run tries again, and nothing else of the series;
    // empty file name: the whole series.
    QString retryFailedFile;
    QList<failedlist::Entry> retry;
    // Where the job was read from; empty: from the options alone.
    QString jobFile;

    // Who the run is to the sites. The cookies of the --cookies file, read before the run,
    // go into the browser's store before the first page; empty: none.
    QString cookiesFile;
    QList<cookiesfile::Cookie> cookies;
    // Receives the store's cookies as the run ends; empty: none.
    QString saveCookiesFile;
    // Of pages and downloads; empty: the browser engine's own.
    QString userAgent;
    // "Name: value", each sent with the page loads and the downloads.
    QList<QByteArray> headers;

    // Long runs. The journal records each page fully handled, so that the run carries on
    // where an earlier one with the same journal was cut short; empty: none.
    QString journalFile;
    // SQLite: every address downloaded, with the path and size saved; empty: none.
    QString archiveFile;
    // Ends the run after this many kept links in a row were all in the archive; 0: never.
    int stopAfterKnown = 0;
    // Between the starts of two requests to one host, pages and files; when delayMaxMs is
    // above it, each wait is drawn at random from delayMs to delayMaxMs.
    int delayMs = 0;
    int delayMaxMs = 0;
    // Further tries of a download cut off, timed out or answered with a 5xx or a 429.
    int retries = 2;
    // This run visits the pages whose position in the series is shard modulo shards.
    int shard = 0;
    int shards = 1;

    // Limits. The most bytes one download's body may have, and the limit as the user gave it,
    // for the failure's description; 0: none.
    qint64 maxBytes = 0;
    QString maxSizeText;
    // The longest one download may take, in seconds; 0: no limit.
    int maxTimeSeconds = 0;
    // The run ends as its series would once its saved files hold this many bytes; 0: never.
    qint64 quotaBytes = 0;
    QString quotaText;
    // The bytes per second that all downloads together receive; 0: no cap.
    qint64 rateBytesPerSecond = 0;
};
