#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The lines of --failed: what it takes to try each failure again, one a line. A line is the
// address, a tab, the position of its page in the series (from 0 in the run's order, as
// --shard counts it), a tab, and "page" when the page failed or "link" when one of its links
// did; `cut -f1` leaves the addresses. Addresses carry "***" for a user and password, so a
// later run tells its links from this list by that form of their address.
namespace failedlist {

// Every byte of the address's UTF-8 outside printable ASCII (blanks, tabs, line breaks,
// control and non-ASCII characters) as %XX, so that no address can break a line or a field.
QByteArray EncodedAddress(const QString &address);

// One line with its line feed; a position below 0 (no page yet) is written "-".
QByteArray Line(const QString &address, qint64 position, bool page);

// One line of such a file, as a run that tries it again reads it.
struct Entry
{
    QByteArray address;   // as the line has it, percent-encoded
    qint64 position = -1; // -1: no page
    bool page = false;
    QByteArray line; // the whole line with its line feed, to carry over as it is
};

// A file larger than this is refused: it would list more failures than any run makes.
constexpr qint64 kMostBytes = 64 * 1024 * 1024;

// Every line of the file's text, in order; an empty line is skipped. A line that is no such
// line refuses the whole text; the message names it by its number.
std::optional<QString> Parse(const QByteArray &text, QList<Entry> &entries);

// The lines of the --retry-failed file at the path: only a regular file no larger than
// kMostBytes.
std::optional<QString> Read(const QString &path, QList<Entry> &entries);

} // namespace failedlist
