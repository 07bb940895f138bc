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
