#pragma once

#include <QByteArray>
#include <QString>

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

} // namespace failedlist
