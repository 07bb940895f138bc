#include "fuzzsupport.h"
#include "referencewalk.h"
#include "scan.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// The link scan must agree with the plain position-by-position walk on any markup: the
// same links in the same order and the same statuses, whichever vector form it runs.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the vector width and how the rest becomes text: UTF-8 reaches
    // the markup's usual characters quickly, raw UTF-16 reaches every code unit.
    const std::uint8_t mode = data[0];
    static constexpr int kWidths[] = {0, 128, 256};
    scan::UseVectorWidthForTesting(kWidths[(mode & 0x7f) % 3]);
    const auto *bytes = reinterpret_cast<const char *>(data + 1);
    const auto count = static_cast<qsizetype>(size - 1);
    QString markup;
    if (mode & 0x80) {
        markup = QString(count / 2, Qt::Uninitialized);
        std::memcpy(markup.data(), bytes, static_cast<std::size_t>(count / 2) * 2);
    } else {
        markup = QString::fromUtf8(bytes, count);
    }

    QStringList expectedLinks;
    QList<int> expectedStatuses;
    ReferenceScan(markup, u"href=\"", 0, expectedLinks, expectedStatuses);
    ReferenceScan(markup, u"src=\"", 50, expectedLinks, expectedStatuses);

    QStringList links;
    QList<int> statuses;
    const scan::Observer observer{[&statuses](int percent) { statuses.append(percent); }, {}};
    const scan::Outcome outcome = scan::ScanLinks(markup, links, observer);
    Require(outcome == scan::Outcome::Completed, "a scan nobody cancels completes", {markup});
    Require(links == expectedLinks, "the scan finds the walk's links", {markup});
    Require(statuses == expectedStatuses, "the scan reports the walk's statuses", {markup});
    return 0;
}
