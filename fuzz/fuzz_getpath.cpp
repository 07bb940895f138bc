#include "fuzzsupport.h"
#include "linkrules.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;

namespace {

bool IsAbsolute(const QString &address)
{
    return address.startsWith(u"http://"_s) || address.startsWith(u"https://"_s)
        || address.startsWith(u"ftp://"_s);
}

} // namespace

// Any link against any target address: an absolute link comes back as it is, any other
// becomes an address on the target's scheme and host, and the only failure is an address
// without a host part.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString link = TextOf(input.ConsumeRandomLengthString());
    const QString address = TextOf(input.ConsumeRemainingBytesAsString());

    QString result;
    try {
        result = linkrules::GetPath(link, address);
    } catch (const linkrules::RuleError &error) {
        Require(!IsAbsolute(link) && error.Code() == 9 && address.count(u'/') < 2,
                "only a relative link against an address without a host part fails",
                {link, address});
        return 0;
    }

    if (IsAbsolute(link)) {
        Require(result == link, "an absolute link is kept as it is", {link, address, result});
        return 0;
    }
    const QStringList parts = address.split(u'/');
    Require(parts.size() >= 3, "an address without a host part fails", {link, address, result});
    // The scheme and host of the target, followed by the first "/" of the path: nothing
    // in the link may move the result to another host.
    const QString origin =
        QString(parts[0] + u"//"_s + parts[2] + u'/').replace(u"&amp;"_s, u"&"_s);
    Require(result.startsWith(origin), "a relative link stays on the target's host",
            {link, address, result});
    Require(!IsAbsolute(address) || IsAbsolute(result),
            "against an absolute address, the result is absolute", {link, address, result});
    return 0;
}
