#include "fuzzsupport.h"
#include "linkrules.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

QStringList Entries(FuzzedDataProvider &input, int most, std::size_t longest)
{
    QStringList entries;
    for (int i = input.ConsumeIntegralInRange(0, most); i > 0; --i)
        entries.append(TextOf(input.ConsumeRandomLengthString(longest)));
    return entries;
}

bool Any(const QStringList &entries, auto matches)
{
    return std::any_of(entries.begin(), entries.end(), matches);
}

} // namespace

// Random criteria over random links: the filter keeps a subset of the links in their order,
// agrees with CheckExtension link by link, and honours what And and Or mean at the ends.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    linkrules::Criteria criteria;
    criteria.or1 = input.ConsumeBool();
    criteria.or2 = input.ConsumeBool();
    criteria.beginning = Entries(input, 4, 8);
    criteria.interior = Entries(input, 4, 8);
    criteria.end = Entries(input, 4, 8);
    QStringList links;
    while (input.remaining_bytes() > 0 && links.size() < 256)
        links.append(TextOf(input.ConsumeRandomLengthString(64)));

    QStringList kept = links;
    linkrules::TrimList(kept, criteria);

    const QStringList inputs{links.join(u'\n'), criteria.beginning.join(u'\n'),
                             criteria.interior.join(u'\n'), criteria.end.join(u'\n')};
    qsizetype at = 0;
    for (const QString &link : links) {
        if (!linkrules::CheckExtension(link, criteria))
            continue;
        Require(at < kept.size() && kept[at] == link, "every link that passes stays, in its order",
                inputs);
        ++at;
    }
    Require(at == kept.size(), "only the links that pass stay", inputs);

    const bool none = criteria.beginning.isEmpty() && criteria.interior.isEmpty()
        && criteria.end.isEmpty();
    Require(!none || kept == links, "no criteria keep every link", inputs);
    if (none || criteria.or1 != criteria.or2)
        return 0;
    for (const QString &link : links) {
        const bool b = Any(criteria.beginning,
                           [&](const QString &x) { return link.startsWith(x); });
        const bool i = Any(criteria.interior, [&](const QString &x) { return link.contains(x); });
        const bool e = Any(criteria.end, [&](const QString &x) { return link.endsWith(x); });
        const bool stays = kept.contains(link);
        if (criteria.or1)
            Require(stays == (b || i || e), "with Or throughout, any one match keeps a link",
                    inputs);
        else
            Require(stays == (b && i && e), "with And throughout, a link must match all three",
                    inputs);
    }
    return 0;
}
