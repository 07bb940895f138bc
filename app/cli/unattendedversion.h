#pragma once

#include <QString>

namespace unattended {

// The program's version and those of what it runs on (Qt, the browser engine, libcurl), one
// a line, as --version shows them.
QString VersionText();

} // namespace unattended
