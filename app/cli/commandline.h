#pragma once

#include "jobsettings.h"

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
    // No progress line, even on a terminal.
    bool quiet = false;
    // Receives the failed addresses, one a line; empty: none.
    QString failedFile;
    // Where the job was read from; empty: from the options alone.
    QString jobFile;

    // Long runs. The journal records each page fully handled, so that the run carries on
    // where an earlier one with the same journal was cut short; empty: none.
    QString journalFile;
    // SQLite: every address downloaded, with the path and size saved; empty: none.
    QString archiveFile;
    // Ends the run after this many kept links in a row were all in the archive; 0: never.
    int stopAfterKnown = 0;
    // Between the starts of two requests to one host, pages and files.
    int delayMs = 0;
    // Further tries of a download cut off, timed out or answered with a 5xx or a 429.
    int retries = 2;
    // This run visits the pages whose position in the series is shard modulo shards.
    int shard = 0;
    int shards = 1;
};

struct CommandLine
{
    // Exit: print `message` (the help or the version on standard output, an error on standard
    // error) and end with `exitStatus`.
    enum class Action { Run, Exit };
    Action action = Action::Run;
    int exitStatus = 0;
    QString message;
    RunSettings settings;
};

// arguments[0] is the program, as in QCoreApplication::arguments(). The job file, when
// given, is read first; every other option overrides what it sets.
CommandLine ParseCommandLine(const QStringList &arguments);
