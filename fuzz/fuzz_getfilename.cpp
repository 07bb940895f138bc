#include "fuzzsupport.h"
#include "linkrules.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;

namespace {

// The folders a name is placed in, below one temporary folder: an existing one, the same
// with a closing separator, and nested ones the first call makes.
const std::array<QString, 3> &Folders()
{
    static QTemporaryDir root;
    static const std::array<QString, 3> folders = [] {
        Require(root.isValid() && QDir(root.path()).mkpath(u"out"_s), "a temporary folder");
        return std::array<QString, 3>{root.path() + u"/out"_s, root.path() + u"/out/"_s,
                                      root.path() + u"/new/sub"_s};
    }();
    return folders;
}

bool HoldsControlCharacter(const QString &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

} // namespace

// Whatever the link, its page number and the default extension, the file lies directly in
// the folder: no "..", no separator, no absolute path can take it elsewhere.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString folder = Folders()[input.ConsumeIntegralInRange<std::size_t>(0, 2)];
    const double number = input.ConsumeBool() ? input.ConsumeIntegralInRange<int>(-1000, 100000)
                                              : input.ConsumeFloatingPoint<double>();
    const QString extension = TextOf(input.ConsumeRandomLengthString(64));
    const QString name = TextOf(input.ConsumeRemainingBytesAsString());

    QString path;
    try {
        path = linkrules::GetFilename(name, folder, number, extension);
    } catch (const linkrules::RuleError &error) {
        Require(error.Code() == 6 && name.size() > 32767, "only an over-long name fails",
                {name, extension, error.Description()});
        return 0;
    }

    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    Require(path.startsWith(prefix), "the path starts with the folder", {name, extension, path});
    const QString file = path.mid(prefix.size());
    // An empty file name stands for the folder itself, as for a link that ends in "/".
    Require(!file.contains(u'/') && file != u"."_s && file != u".."_s
                && !HoldsControlCharacter(file),
            "the file is a plain name in the folder", {name, extension, path});
    const QString clean = QDir::cleanPath(path);
    const QString cleanFolder = QDir::cleanPath(folder);
    Require(clean == cleanFolder || clean.startsWith(cleanFolder + u'/'),
            "the cleaned path stays in the folder", {name, extension, path});
    return 0;
}
