#pragma once

#include "runsettings.h"

#include <QString>
#include <QStringList>

struct CommandLine
{
    // Exit: print `message` (the help on standard output, an error on standard error) and end
    // with `exitStatus`. Version: print the versions of the program and what it runs on.
    enum class Action { Run, Exit, Version };
    Action action = Action::Run;
    int exitStatus = 0;
    QString message;
    RunSettings settings;
};

// arguments[0] is the program, as in QCoreApplication::arguments(). The job file, when
// given, is read first; every other option overrides what it sets.
CommandLine ParseCommandLine(const QStringList &arguments);
