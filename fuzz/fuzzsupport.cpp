#include "fuzzsupport.h"

#include <cstdio>
#include <cstdlib>

QString TextOf(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void Require(bool holds, const char *property, const QStringList &inputs)
{
    if (holds)
        return;
    std::fprintf(stderr, "Broken: %s\n", property);
    for (const QString &input : inputs) {
        // Escaped, so that control characters and blanks at the ends show.
        std::fprintf(stderr, "  input: \"%s\"\n",
                     input.toUtf8().toPercentEncoding(" /:.?=&#*|<>\"").constData());
    }
    std::abort();
}
