#pragma once

#include "commandline.h"

#include <QString>

#include <optional>

// Everything that refuses a run before anything is fetched: the window's own checks with
// their texts, what the window's fields could never hold, and the criteria question, which
// a script answers in advance with --all-links. The message names the field and its option.
std::optional<QString> CheckBeforeRun(const RunSettings &settings);
