#pragma once

#include <QString>

#include <functional>

// The program's start procedure and the hand-off of web addresses to the desktop.
namespace modMain {

// False until the start-up splash has closed; the splash starts its timer only
// while it is false, so the About box stays until clicked.
extern bool SplashShown;

int Main(int argc, char *argv[]);

// Asks the desktop to open the address in the user's browser. The outcome is not
// examined: a failure shows nothing and the caller carries on.
void ShellOpen(const QString &address);

using ShellOpenHandler = std::function<void(const QString &address)>;
// Replaces the desktop hand-off (tests capture the address); an empty handler
// puts the desktop back.
void SetShellOpenHandler(ShellOpenHandler handler);

} // namespace modMain
