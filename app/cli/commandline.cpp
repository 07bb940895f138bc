#include "commandline.h"

#include "exitstatus.h"
#include "jobinput.h"

#include <QCommandLineParser>

#include <functional>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Apply = std::function<std::optional<QString>(const QStringList &values, RunSettings &)>;

// One option and what it does to the settings; `values` holds every value given for it
// (one entry for a flag), in order.
struct Option
{
    QCommandLineOption option;
    Apply apply;
};

const QString kDescription = u"Runs one Linkhauler job without a window and exits: loads the "
                             u"pages of the series in the browser engine, keeps the links that "
                             u"match the criteria, saves them and/or their addresses, and "
                             u"writes the activity log to standard output.\n"
                             u"Exit status: 0 done, 1 done with failures skipped, 2 invalid job "
                             u"or options, 3 ended by a failure (--on-error stop), 130 "
                             u"interrupted."_s;

QString Last(const QStringList &values)
{
    return values.constLast();
}

// "start:stop" or "start:stop:step" into the three counter fields; the step defaults to 1.
std::optional<QString> SetSeries(const QString &option, const QString &value, int &tick,
                                 QString &start, QString &stop, QString &step)
{
    const QStringList parts = value.split(u':');
    if (parts.size() < 2 || parts.size() > 3)
        return u"--%1 takes START:STOP or START:STOP:STEP, not \"%2\"."_s.arg(option, value);
    tick = 1;
    start = parts.at(0);
    stop = parts.at(1);
    step = parts.size() == 3 ? parts.at(2) : u"1"_s;
    return std::nullopt;
}

Apply Series(const QString &option, int JobFields::*tick, QString JobFields::*start,
             QString JobFields::*stop, QString JobFields::*step)
{
    return [=](const QStringList &values, RunSettings &s) {
        JobFields &job = s.job;
        return SetSeries(option, Last(values), job.*tick, job.*start, job.*stop, job.*step);
    };
}

Apply Variables(const QString &option, jobinput::Criteria which, QStringList JobFields::*list)
{
    return [=](const QStringList &values, RunSettings &s) -> std::optional<QString> {
        QStringList &entries = s.job.*list;
        entries.clear();
        for (const QString &value : values)
            if (auto refused = jobinput::AddVariable(entries, which, value))
                return u"--"_s + option + u": "_s + *refused;
        return std::nullopt;
    };
}

// One of two words, each giving one value.
template<typename T>
Apply Choice(const QString &option, const QString &first, T firstValue, const QString &second,
             T secondValue, std::function<T &(RunSettings &)> target)
{
    return [=](const QStringList &values, RunSettings &s) -> std::optional<QString> {
        const QString value = Last(values);
        if (value == first)
            target(s) = firstValue;
        else if (value == second)
            target(s) = secondValue;
        else
            return u"--%1 takes %2 or %3, not \"%4\"."_s.arg(option, first, second, value);
        return std::nullopt;
    };
}

Apply Text(QString JobFields::*field)
{
    return [=](const QStringList &values, RunSettings &s) {
        s.job.*field = Last(values);
        return std::optional<QString>();
    };
}

// An option naming a file of the program's own.
Apply FileOf(QString RunSettings::*field)
{
    return [=](const QStringList &values, RunSettings &s) {
        s.*field = Last(values);
        return std::optional<QString>();
    };
}

// A folder option ticks its box and fills its field.
Apply Folder(int JobFields::*tick, QString JobFields::*field)
{
    return [=](const QStringList &values, RunSettings &s) {
        s.job.*tick = 1;
        s.job.*field = Last(values);
        return std::optional<QString>();
    };
}

Apply Flag(std::function<void(RunSettings &)> set)
{
    return [=](const QStringList &, RunSettings &s) {
        set(s);
        return std::optional<QString>();
    };
}

QCommandLineOption Valued(const QStringList &names, const QString &description,
                          const QString &valueName)
{
    return QCommandLineOption(names, description, valueName);
}

// A whole number from `least` to 2147483647.
Apply Count(const QString &option, int least, std::function<int &(RunSettings &)> target)
{
    return [=](const QStringList &values, RunSettings &s) -> std::optional<QString> {
        bool ok = false;
        const int value = Last(values).toInt(&ok);
        if (!ok || value < least)
            return u"--%1 takes a whole number from %2 on, not \"%3\"."_s.arg(
                option, QString::number(least), Last(values));
        target(s) = value;
        return std::nullopt;
    };
}

// The options of long runs: resuming, the archive, politeness, shards.
void AddLongRunOptions(const std::function<void(QCommandLineOption, Apply)> &add)
{
    add(Valued({u"journal"_s},
               u"Record each page fully handled in the file; started again with the same file "
               u"and job, the run goes on at the first page not fully handled and requests no "
               u"file again that was saved whole."_s,
               u"file"_s),
        FileOf(&RunSettings::journalFile));
    add(Valued({u"archive"_s},
               u"Keep every address downloaded, with the path and size saved, in this SQLite "
               u"file; a link already in it is not requested. Runs may share one archive."_s,
               u"file"_s),
        FileOf(&RunSettings::archiveFile));
    add(Valued({u"stop-after-known"_s},
               u"End the run after n kept links in a row that were all in the archive."_s, u"n"_s),
        Count(u"stop-after-known"_s, 1, [](RunSettings &s) -> int & { return s.stopAfterKnown; }));
    add(Valued({u"delay-ms"_s},
               u"At least this many milliseconds between the starts of two requests to one "
               u"host, pages and files (default 0)."_s,
               u"ms"_s),
        Count(u"delay-ms"_s, 0, [](RunSettings &s) -> int & { return s.delayMs; }));
    add(Valued({u"retries"_s},
               u"Try a page or a download again up to n times when its connection drops, it "
               u"times out, or the server answers 5xx or 429 (default 2); a download's "
               u"Retry-After is honoured."_s,
               u"n"_s),
        Count(u"retries"_s, 0, [](RunSettings &s) -> int & { return s.retries; }));
    add(Valued({u"shard"_s},
               u"Handle only the pages whose position in the series (from 0) is k modulo n, so "
               u"that n machines share one series."_s,
               u"k/n"_s),
        [](const QStringList &values, RunSettings &s) -> std::optional<QString> {
            const QStringList parts = Last(values).split(u'/');
            bool kOk = false, nOk = false;
            const int k = parts.value(0).toInt(&kOk);
            const int n = parts.value(1).toInt(&nOk);
            if (parts.size() != 2 || !kOk || !nOk || n < 1 || k < 0 || k >= n)
                return u"--shard takes K/N with 0 <= K < N, not \"%1\"."_s.arg(Last(values));
            s.shard = k;
            s.shards = n;
            return std::nullopt;
        });
}

// The job's options, in the order of the Setup page, then how the run behaves.
std::vector<Option> JobOptions()
{
    std::vector<Option> options;
    const auto add = [&](QCommandLineOption option, Apply apply) {
        options.push_back(Option{std::move(option), std::move(apply)});
    };
    add(Valued({u"a"_s, u"address"_s},
               u"The page address; ^N stands for the number, ^L for the letter."_s, u"url"_s),
        Text(&JobFields::address));
    add(Valued({u"n"_s, u"numbers"_s},
               u"Increment numerically (replaces '^N'): first, last number and step (1 when "
               u"left out), such as 1:20 or 10:1:-3."_s,
               u"start:stop[:step]"_s),
        Series(u"numbers"_s, &JobFields::incNum, &JobFields::startNum, &JobFields::stopNum,
               &JobFields::incrementNumerically));
    add(Valued({u"l"_s, u"letters"_s},
               u"Increment alphabetically (replaces '^L'): first, last letter and step (1 when "
               u"left out), such as a:z or A:Z:0.5."_s,
               u"start:stop[:step]"_s),
        Series(u"letters"_s, &JobFields::incAlpha, &JobFields::startAlpha, &JobFields::stopAlpha,
               &JobFields::incrementAlphabetically));
    add(Valued({u"b"_s, u"begins"_s}, u"Keep links that begin with the text (repeatable)."_s,
               u"text"_s),
        Variables(u"begins"_s, jobinput::Criteria::Beginning, &JobFields::beginning));
    add(Valued({u"begins-contains"_s},
               u"How --begins and --contains combine: and, or (the default)."_s, u"and|or"_s),
        Choice<bool>(u"begins-contains"_s, u"and"_s, false, u"or"_s, true,
                     [](RunSettings &s) -> bool & { return s.job.or1; }));
    add(Valued({u"c"_s, u"contains"_s}, u"Keep links that contain the text (repeatable)."_s,
               u"text"_s),
        Variables(u"contains"_s, jobinput::Criteria::Interior, &JobFields::interior));
    add(Valued({u"contains-ends"_s},
               u"How --contains and --ends combine: and, or (the default). And binds tighter "
               u"than or."_s,
               u"and|or"_s),
        Choice<bool>(u"contains-ends"_s, u"and"_s, false, u"or"_s, true,
                     [](RunSettings &s) -> bool & { return s.job.or2; }));
    add(Valued({u"e"_s, u"ends"_s},
               u"Keep links that end with the text, such as zip (repeatable)."_s, u"text"_s),
        Variables(u"ends"_s, jobinput::Criteria::End, &JobFields::end));
    add(Valued({u"t"_s, u"timeout"_s},
               u"Seconds a page or a download may take to answer (default 60)."_s, u"seconds"_s),
        Text(&JobFields::timeOut));
    add(Valued({u"x"_s, u"extension"_s},
               u"Default extension of the file names made from the page number (needed)."_s,
               u"ext"_s),
        [](const QStringList &values, RunSettings &s) {
            s.job.defaultExtension = jobinput::WithoutLeadingDot(Last(values));
            return std::optional<QString>();
        });
    add(QCommandLineOption(u"overwrite"_s, u"Overwrite existing files."_s),
        Flag([](RunSettings &s) { s.job.overwrite = 1; }));
    add(Valued({u"o"_s, u"save-links"_s}, u"Save links to disk, into the folder."_s, u"folder"_s),
        Folder(&JobFields::saveLinks, &JobFields::saveLinksFolder));
    add(Valued({u"r"_s, u"save-hrefs"_s},
               u"Save HREF's to disk: one file per page number in the folder."_s, u"folder"_s),
        Folder(&JobFields::saveHREFs, &JobFields::saveHREFsFolder));
    add(Valued({u"hrefs"_s},
               u"all-in-one (the default): append every address to its page's file; "
               u"one-per-file: the page's file holds the first query value of its last link."_s,
               u"all-in-one|one-per-file"_s),
        Choice<bool>(u"hrefs"_s, u"all-in-one"_s, false, u"one-per-file"_s, true,
                     [](RunSettings &s) -> bool & { return s.job.oneHREFPerFile; }));

    add(Valued({u"j"_s, u"job"_s},
               u"Read the job from a JSON object whose keys are the Setup page's control "
               u"names (txtAddress, chkIncNum, lstEnd, ...); the other options override it."_s,
               u"file"_s),
        // Read before every other option, so that they override it.
        [](const QStringList &, RunSettings &) { return std::optional<QString>(); });
    add(QCommandLineOption(u"all-links"_s, u"With no criteria at all, keep every link."_s),
        Flag([](RunSettings &s) { s.allLinks = true; }));
    add(Valued({u"on-error"_s},
               u"skip (the default): a failed step is skipped and the run goes on; stop: the "
               u"first failure ends the run."_s,
               u"skip|stop"_s),
        Choice<ErrorPolicy>(u"on-error"_s, u"skip"_s, ErrorPolicy::Skip, u"stop"_s,
                            ErrorPolicy::Stop,
                            [](RunSettings &s) -> ErrorPolicy & { return s.onError; }));
    add(Valued({u"failed"_s}, u"Write the addresses that failed into the file, one a line."_s,
               u"file"_s),
        FileOf(&RunSettings::failedFile));
    add(QCommandLineOption(u"json"_s,
                           u"Write one JSON object a line instead of the log lines: page, "
                           u"links, saved, exists, known, item, failure, done."_s),
        Flag([](RunSettings &s) { s.json = true; }));
    add(QCommandLineOption({u"q"_s, u"quiet"_s},
                           u"No progress line on standard error, even on a terminal."_s),
        Flag([](RunSettings &s) { s.quiet = true; }));
    AddLongRunOptions(add);
    return options;
}

CommandLine Exit(int status, const QString &message)
{
    CommandLine result;
    result.action = CommandLine::Action::Exit;
    result.exitStatus = status;
    result.message = message;
    return result;
}

} // namespace

CommandLine ParseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Not addHelpOption: its --help-all lists the options of a windowed Qt program.
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Shows these options and exits."_s);
    const QCommandLineOption version({u"v"_s, u"version"_s}, u"Shows the version and exits."_s);
    parser.addOption(help);
    parser.addOption(version);
    const std::vector<Option> options = JobOptions();
    for (const Option &o : options)
        parser.addOption(o.option);

    if (!parser.parse(arguments))
        return Exit(exitstatus::kInvalid, parser.errorText());
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        // The first line names the program as it was started, with its whole path.
        text.replace(0, text.indexOf(u'\n'), u"Usage: linkhauler-run [options]"_s);
        return Exit(exitstatus::kDone, text);
    }
    if (parser.isSet(version))
        return Exit(exitstatus::kDone, u"linkhauler-run " LINKHAULER_VERSION u"\n"_s);
    if (!parser.positionalArguments().isEmpty())
        return Exit(exitstatus::kInvalid,
                    u"Unexpected argument \"%1\"; the address goes after --address."_s.arg(
                        parser.positionalArguments().constFirst()));

    CommandLine result;
    if (parser.isSet(u"job"_s)) {
        result.settings.jobFile = parser.value(u"job"_s);
        if (auto error = jobinput::ReadJobFile(result.settings.jobFile, result.settings.job))
            return Exit(exitstatus::kInvalid, *error);
    }
    for (const Option &o : options) {
        const QString name = o.option.names().constLast();
        if (!parser.isSet(name))
            continue;
        // A flag has no values; it still applies once.
        QStringList values = parser.values(name);
        if (values.isEmpty())
            values.append(QString());
        if (auto error = o.apply(values, result.settings))
            return Exit(exitstatus::kInvalid, *error);
    }
    return result;
}
