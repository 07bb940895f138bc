#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

// The textual link scan: every double-quoted value after "href=" and after "src=",
// hrefs first, each in document order.
namespace scan {

struct Observer
{
    // Called with the status percentage (0..100) whenever it changes.
    std::function<void(int percent)> progress;
    // Polled at the scan's check points; true ends the scan at once.
    std::function<bool()> cancelled;
};

enum class Outcome { Completed, Cancelled };

// Appends the values after `opening` (for example u"href=\"") to `links`. The percentage
// reported runs from base to base + 50 over the markup.
Outcome ScanOpening(QStringView markup, QStringView opening, int base, QStringList &links,
                    const Observer &observer = {});

// Both scans in order: href values (0..50 %) then src values (50..100 %).
Outcome ScanLinks(QStringView markup, QStringList &links, const Observer &observer = {});

// For tests: the widest vector instructions the scan may use (0 none, 128 or 256 bits), so
// that every form can be checked on one machine. Returns the width in use afterwards, which
// is lower when the processor lacks the one asked for.
int UseVectorWidthForTesting(int bits);

} // namespace scan
