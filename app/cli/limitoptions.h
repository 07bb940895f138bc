#pragma once

#include "optiontable.h"

#include <QString>

#include <optional>

// The options that bound one run: the size and time of one download, the bytes of the whole
// run, the bandwidth, and the pacing of the requests to one host.
namespace limitoptions {

// A whole number of bytes above 0, with k, M or G (1024-based) after it if wanted: "512",
// "64k", "10M", "2G". None for anything else, or a size beyond what a file can hold.
std::optional<qint64> ParseSize(const QString &text);

void AddLimitOptions(const optiontable::Section &add);

} // namespace limitoptions
