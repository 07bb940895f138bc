#pragma once

#include "commandline.h"

// The program: reads the command line, checks the job, runs it on the browser engine without
// a window and returns the exit status.
namespace unattended {

int Main(int argc, char *argv[]);

// One checked job through the engine; the application object must exist.
int Run(const RunSettings &settings);

} // namespace unattended
