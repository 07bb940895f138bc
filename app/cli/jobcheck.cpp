#include "jobcheck.h"

#include "numbers.h"
#include "seriescursor.h"
#include "validation.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

using validation::Field;

// The control a refusal points at, and the option that fills it.
QString Where(Field field)
{
    switch (field) {
    case Field::txtAddress:
        return u"txtAddress, --address"_s;
    case Field::txtStartNum:
        return u"txtStartNum, --numbers"_s;
    case Field::txtStopNum:
        return u"txtStopNum, --numbers"_s;
    case Field::txtIncrementNumerically:
        return u"txtIncrementNumerically, --numbers"_s;
    case Field::txtStartAlpha:
        return u"txtStartAlpha, --letters"_s;
    case Field::txtStopAlpha:
        return u"txtStopAlpha, --letters"_s;
    case Field::txtIncrementAlphabetically:
        return u"txtIncrementAlphabetically, --letters"_s;
    case Field::txtSaveLinks:
        return u"txtSaveLinks, --save-links"_s;
    case Field::txtDefaultExtension:
        return u"txtDefaultExtension, --extension"_s;
    case Field::txtSaveHREFs:
        break;
    }
    return u"txtSaveHREFs, --save-hrefs"_s;
}

struct Counter
{
    const QString &text;
    QLatin1StringView name;
    QLatin1StringView reset;
};

// Unticking a series box resets its fields, so while it is off they hold these values only.
std::optional<QString> CheckSeriesOff(int tick, QLatin1StringView box, QLatin1StringView option,
                                      std::initializer_list<Counter> counters)
{
    if (tick == 1)
        return std::nullopt;
    for (const Counter &c : counters)
        if (c.text != c.reset)
            return u"\"%1\" is \"%2\", but without %3 (%4 not ticked) it holds \"%5\"."_s.arg(
                c.name, c.text, option, box, c.reset);
    return std::nullopt;
}

// The window repeats a series until Stop; unattended, nobody would press it. A step of 0, or one
// too small to reach the end within the pages counted, is refused, naming its series.
std::optional<QString> CheckSeriesEnds(const JobFields &f)
{
    constexpr qint64 kMostPages = 10'000'000;
    const auto endless = [](const QString &series, Field step, const QString &reason) {
        return u"OOPS! The %1 series %2 (%3)"_s.arg(series, reason, Where(step));
    };
    const auto zero = u"never ends: its increment is 0!"_s;
    if (f.incNum == 1 && numbers::ToNumber(f.incrementNumerically) == 0.0)
        return endless(u"number"_s, Field::txtIncrementNumerically, zero);
    if (f.incAlpha == 1 && numbers::ToNumber(f.incrementAlphabetically) == 0.0)
        return endless(u"letter"_s, Field::txtIncrementAlphabetically, zero);
    const auto tooLong = u"would take more than %1 pages!"_s.arg(kMostPages);
    const std::optional<qint64> pages = linkrules::SeriesCursor::CountOf(PlainJobSettings(f));
    if (pages && *pages <= kMostPages)
        return std::nullopt;
    // Which series is at fault: the letters alone, with the numbers on one page each.
    JobFields lettersOnly = f;
    lettersOnly.startNum = lettersOnly.stopNum = lettersOnly.incrementNumerically = u"1"_s;
    const std::optional<qint64> letters = linkrules::SeriesCursor::CountOf(
        PlainJobSettings(lettersOnly));
    if (!letters || *letters > kMostPages)
        return endless(u"letter"_s, Field::txtIncrementAlphabetically, tooLong);
    return endless(u"number"_s, Field::txtIncrementNumerically, tooLong);
}

} // namespace

std::optional<QString> CheckBeforeRun(const RunSettings &settings)
{
    const JobFields &f = settings.job;
    if (auto error = CheckSeriesOff(
            f.incNum, "chkIncNum"_L1, "--numbers"_L1,
            {{f.startNum, "txtStartNum"_L1, "1"_L1},
             {f.stopNum, "txtStopNum"_L1, "1"_L1},
             {f.incrementNumerically, "txtIncrementNumerically"_L1, "1"_L1}}))
        return error;
    if (auto error = CheckSeriesOff(
            f.incAlpha, "chkIncAlpha"_L1, "--letters"_L1,
            {{f.startAlpha, "txtStartAlpha"_L1, "a"_L1},
             {f.stopAlpha, "txtStopAlpha"_L1, "a"_L1},
             {f.incrementAlphabetically, "txtIncrementAlphabetically"_L1, "1"_L1}}))
        return error;

    const PlainJobSettings job(f);
    if (const auto refusal = validation::CheckJob(job))
        return refusal->message + u" ("_s + Where(refusal->focus) + u')';
    if (auto error = CheckSeriesEnds(f))
        return error;

    // The window puts back its last accepted time-out instead of taking such a text.
    const auto seconds = numbers::TextToInt32(f.timeOut);
    if (!seconds || *seconds <= 0)
        return u"OOPS! The time-out must be a number of seconds from 1 to 2147483647! "
               u"(txtTimeOut, --timeout)"_s;

    if (validation::NeedsCriteriaQuestion(job) && !settings.allLinks)
        return u"OOPS! You did not enter any search criteria! If you would like to get all "
               u"links on every page, add --all-links."_s;

    // All addresses in one file are appended into the folder as it stands: unlike the
    // download folder, nothing makes it on the way, and every record of the run would fail.
    if (f.saveHREFs == 1 && !f.oneHREFPerFile) {
        const QFileInfo folder(f.saveHREFsFolder);
        if (!folder.exists())
            return u"The folder \"%1\" for the address records does not exist; make it "
                   u"first. (%2)"_s.arg(f.saveHREFsFolder, Where(Field::txtSaveHREFs));
        if (!folder.isDir())
            return u"\"%1\" for the address records is not a folder. (%2)"_s.arg(
                f.saveHREFsFolder, Where(Field::txtSaveHREFs));
    }

    if (!settings.retryFailedFile.isEmpty() && !settings.journalFile.isEmpty())
        return u"--retry-failed visits only the pages of its list, where a journal records the "
               u"series' pages as they are done and is carried on by the next run of the whole "
               u"series: give one of them."_s;
    if (settings.stopAfterKnown > 0 && settings.archiveFile.isEmpty())
        return u"--stop-after-known counts links known from the archive: give --archive too."_s;
    if (settings.shards > 1 && f.saveHREFs == 1 && f.oneHREFPerFile) {
        // The pages of one number share their one-value file; in one run the last of them
        // writes it last, across shards whichever ends last would.
        const auto shape = linkrules::SeriesCursor::ShapeOf(job);
        if (!shape || (shape->letters > 1 && shape->perLetter % settings.shards != 0))
            return u"With --hrefs one-per-file, pages of one number share their file, and "
                   u"--shard %1/%2 would give them to different shards: use all-in-one, or a "
                   u"shard count that divides the pages of each letter (%3)."_s.arg(
                       QString::number(settings.shard), QString::number(settings.shards),
                       shape ? QString::number(shape->perLetter) : u"endless"_s);
    }
    for (const QString *file : {&settings.journalFile, &settings.archiveFile}) {
        const QFileInfo info(*file);
        if (!file->isEmpty() && (!info.absoluteDir().exists() || info.isDir()))
            return u"The %1 \"%2\" cannot be used: %3."_s.arg(
                file == &settings.journalFile ? u"journal"_s : u"archive"_s, *file,
                info.isDir() ? u"it is a folder"_s : u"its folder does not exist"_s);
    }

    // Files the run writes of its own: each goes into a folder that exists.
    const std::pair<const QString *, QLatin1StringView> written[] = {
        {&settings.failedFile, "--failed"_L1},
        {&settings.logFile, "--log"_L1},
        {&settings.saveCookiesFile, "--save-cookies"_L1},
    };
    for (const auto &[file, option] : written) {
        if (file->isEmpty())
            continue;
        const QFileInfo info(*file);
        if (!info.absoluteDir().exists())
            return u"The folder of the %1 file \"%2\" does not exist."_s.arg(option, *file);
        if (info.isDir())
            return u"The %1 file \"%2\" is a folder."_s.arg(option, *file);
    }
    if (settings.quiet && settings.json)
        return u"--quiet writes nothing on standard output, where --json writes its events: "
               u"give one of them."_s;
    return std::nullopt;
}
