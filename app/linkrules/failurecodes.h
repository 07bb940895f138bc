#pragma once

// The codes the "Error" question shows for failures the program finds itself. A failed
// transfer shows its own code instead (libcurl's, or the HTTP status), a page that does not
// load the run's.
namespace failurecodes {

constexpr int kOverflow = 6;            // a count beyond its range
constexpr int kSubscriptOutOfRange = 9; // a part of a text or a table entry that is not there
constexpr int kTypeMismatch = 13;       // a text that should be a number and is not
constexpr int kFileAccess = 75;         // a file or folder that cannot be made or written
constexpr int kPathNotFound = 76;       // no folder was given for a file

} // namespace failurecodes
