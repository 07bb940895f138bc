#include "limitoptions.h"

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace limitoptions {

namespace {

using optiontable::Apply;
using optiontable::Last;

// A size into the settings' bytes and, where there is one, the text the user gave for it.
Apply Size(const QString &option, const QString &what, qint64 RunSettings::*bytes,
           QString RunSettings::*text = nullptr)
{
    return [=](const QStringList &values, RunSettings &s) -> std::optional<QString> {
        const std::optional<qint64> size = ParseSize(Last(values));
        if (!size)
            return u"--%1 takes %2 above 0, with k, M or G after it (1024-based) if wanted, "
                   u"not \"%3\"."_s.arg(option, what, Last(values));
        s.*bytes = *size;
        if (text)
            s.*text = Last(values);
        return std::nullopt;
    };
}

// "MS" or "MIN-MAX", in milliseconds.
std::optional<QString> SetDelay(const QString &value, RunSettings &s)
{
    const QStringList parts = value.split(u'-');
    bool minOk = false, maxOk = false;
    const int least = parts.constFirst().toInt(&minOk);
    const int most = parts.constLast().toInt(&maxOk);
    // toInt takes a sign or blanks; a delay is digits only.
    const bool digits = std::all_of(parts.cbegin(), parts.cend(), [](const QString &part) {
        return !part.isEmpty()
            && std::all_of(part.cbegin(), part.cend(), [](QChar c) { return c.isDigit(); });
    });
    if (parts.size() > 2 || !digits || !minOk || !maxOk || least > most)
        return u"--delay-ms takes MS or MIN-MAX in milliseconds, MIN not above MAX, not "
               u"\"%1\"."_s.arg(value);
    s.delayMs = least;
    s.delayMaxMs = most;
    return std::nullopt;
}

} // namespace

std::optional<qint64> ParseSize(const QString &text)
{
    QString digits = text;
    qint64 unit = 1;
    if (!digits.isEmpty()) {
        const QChar suffix = digits.back();
        const qsizetype power = u"kMG"_s.indexOf(suffix, 0, Qt::CaseInsensitive);
        if (power >= 0) {
            unit = qint64(1) << (10 * (power + 1));
            digits.chop(1);
        }
    }
    if (digits.isEmpty()
        || !std::all_of(digits.cbegin(), digits.cend(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    bool ok = false;
    const qint64 number = digits.toLongLong(&ok);
    if (!ok || number <= 0 || number > std::numeric_limits<qint64>::max() / unit)
        return std::nullopt;
    return number * unit;
}

void AddLimitOptions(const optiontable::Section &add)
{
    add(u"max-size"_s, {}, u"SIZE"_s,
        u"The most bytes one download may have, such as 50M (k, M, G: 1024-based). A larger "
        u"file is not kept: it fails as \"larger than SIZE\", announced or not."_s,
        Size(u"max-size"_s, u"a size"_s, &RunSettings::maxBytes, &RunSettings::maxSizeText));
    add(u"max-time"_s, {}, u"SECONDS"_s,
        u"The longest one download may take, its redirects and further tries included; one "
        u"that takes longer fails and is not tried again."_s,
        optiontable::Count(u"max-time"_s, 1,
                           [](RunSettings &s) -> int & { return s.maxTimeSeconds; }));
    add(u"quota"_s, {}, u"SIZE"_s,
        u"End the run, as its series would end, once the files it saved hold SIZE bytes "
        u"(k, M, G: 1024-based); the file that reaches it is kept whole. Exit status 4."_s,
        Size(u"quota"_s, u"a size"_s, &RunSettings::quotaBytes, &RunSettings::quotaText));
    add(u"limit-rate"_s, {}, u"RATE"_s,
        u"The most bytes per second that all downloads together receive, such as 200k (k, M, "
        u"G: 1024-based). Pages load in the browser engine and are not capped."_s,
        Size(u"limit-rate"_s, u"bytes per second"_s, &RunSettings::rateBytesPerSecond));
    add(u"delay-ms"_s, {}, u"MS|MIN-MAX"_s,
        u"At least this many milliseconds between the starts of two requests to one host, "
        u"pages and files (default 0); with MIN-MAX each wait is drawn at random from the "
        u"range."_s,
        [](const QStringList &values, RunSettings &s) { return SetDelay(Last(values), s); });
}

} // namespace limitoptions
