#include "commandline.h"

#include "exitstatus.h"
#include "jobinput.h"
#include "limitoptions.h"
#include "optionparser.h"
#include "optiontable.h"

#include <QDateTime>

#include <algorithm>

#include <functional>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using optiontable::Apply;
using optiontable::Count;
using optiontable::FileOf;
using optiontable::Flag;
using optiontable::Last;
using optiontable::Option;
using optiontable::Section;

const QString kDescription = u"Runs one Linkhauler job without a window and exits: loads the "
                             u"pages of the series in the browser engine, keeps the links that "
                             u"match the criteria, saves them and/or their addresses, and "
                             u"writes the activity log to standard output."_s;

const QString kExitStatus =
    u"Exit status: 0 done, 1 done with failures skipped, 2 invalid job or options, 3 ended by a "
    u"failure (--on-error stop), 4 ended at --quota (failures skipped or not); a run that SIGHUP, "
    u"SIGINT or SIGTERM stopped ends by that "
    u"signal once its summary and --failed are written, which shells show as 129, 130 and "
    u"143."_s;

const QString kJob = u"The job, as on the Setup page"_s;
const QString kRun = u"The run"_s;
const QString kIdentity = u"Who the run is to the sites"_s;
const QString kOutput = u"Output"_s;
const QString kLongRuns = u"Long runs"_s;
const QString kLimits = u"Limits and pacing"_s;
const QString kProgram = u"The program"_s;

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

// A folder option ticks its box and fills its field.
Apply Folder(int JobFields::*tick, QString JobFields::*field)
{
    return [=](const QStringList &values, RunSettings &s) {
        s.job.*tick = 1;
        s.job.*field = Last(values);
        return std::optional<QString>();
    };
}

// The job's options, in the order of the Setup page.
void AddJobOptions(const Section &add)
{
    add(u"address"_s, u"a"_s, u"URL"_s,
        u"The page address; ^N stands for the number, ^L for the letter."_s,
        Text(&JobFields::address));
    add(u"numbers"_s, u"n"_s, u"START:STOP[:STEP]"_s,
        u"Increment numerically (replaces '^N'): first, last number and step (1 when left "
        u"out), such as 1:20 or 10:1:-3."_s,
        Series(u"numbers"_s, &JobFields::incNum, &JobFields::startNum, &JobFields::stopNum,
               &JobFields::incrementNumerically));
    add(u"letters"_s, u"l"_s, u"START:STOP[:STEP]"_s,
        u"Increment alphabetically (replaces '^L'): first, last letter and step (1 when left "
        u"out), such as a:z or A:Z:0.5."_s,
        Series(u"letters"_s, &JobFields::incAlpha, &JobFields::startAlpha, &JobFields::stopAlpha,
               &JobFields::incrementAlphabetically));
    add(u"begins"_s, u"b"_s, u"TEXT"_s, u"Keep links that begin with the text (repeatable)."_s,
        Variables(u"begins"_s, jobinput::Criteria::Beginning, &JobFields::beginning));
    add(u"begins-contains"_s, {}, u"and|or"_s,
        u"How --begins and --contains combine: and, or (the default)."_s,
        Choice<bool>(u"begins-contains"_s, u"and"_s, false, u"or"_s, true,
                     [](RunSettings &s) -> bool & { return s.job.or1; }));
    add(u"contains"_s, u"c"_s, u"TEXT"_s, u"Keep links that contain the text (repeatable)."_s,
        Variables(u"contains"_s, jobinput::Criteria::Interior, &JobFields::interior));
    add(u"contains-ends"_s, {}, u"and|or"_s,
        u"How --contains and --ends combine: and, or (the default). And binds tighter than "
        u"or."_s,
        Choice<bool>(u"contains-ends"_s, u"and"_s, false, u"or"_s, true,
                     [](RunSettings &s) -> bool & { return s.job.or2; }));
    add(u"ends"_s, u"e"_s, u"TEXT"_s,
        u"Keep links that end with the text, such as zip (repeatable)."_s,
        Variables(u"ends"_s, jobinput::Criteria::End, &JobFields::end));
    add(u"timeout"_s, u"Tt"_s, u"SECONDS"_s,
        u"Seconds a page or a download may take to answer (default 60)."_s,
        Text(&JobFields::timeOut));
    add(u"extension"_s, u"x"_s, u"EXT"_s,
        u"Default extension of the file names made from the page number (needed)."_s,
        [](const QStringList &values, RunSettings &s) {
            s.job.defaultExtension = jobinput::WithoutLeadingDot(Last(values));
            return std::optional<QString>();
        });
    add(u"overwrite"_s, {}, {}, u"Overwrite existing files."_s,
        Flag([](RunSettings &s) { s.job.overwrite = 1; }));
    add(u"save-links"_s, u"o"_s, u"FOLDER"_s, u"Save links to disk, into the folder."_s,
        Folder(&JobFields::saveLinks, &JobFields::saveLinksFolder));
    add(u"save-hrefs"_s, u"r"_s, u"FOLDER"_s,
        u"Save HREF's to disk: one file per page number in the folder."_s,
        Folder(&JobFields::saveHREFs, &JobFields::saveHREFsFolder));
    add(u"hrefs"_s, {}, u"all-in-one|one-per-file"_s,
        u"all-in-one (the default): append every address to its page's file; one-per-file: the "
        u"page's file holds the first query value of its last link."_s,
        Choice<bool>(u"hrefs"_s, u"all-in-one"_s, false, u"one-per-file"_s, true,
                     [](RunSettings &s) -> bool & { return s.job.oneHREFPerFile; }));
    add(u"job"_s, u"j"_s, u"FILE"_s,
        u"Read the job from a JSON object whose keys are the Setup page's control names "
        u"(txtAddress, chkIncNum, lstEnd, ...); the other options override it."_s,
        // Read before every other option, so that they override it.
        [](const QStringList &, RunSettings &) { return std::optional<QString>(); });
}

// How the run behaves where the window would ask.
void AddRunOptions(const Section &add)
{
    add(u"all-links"_s, {}, {}, u"With no criteria at all, keep every link."_s,
        Flag([](RunSettings &s) { s.allLinks = true; }));
    add(u"on-error"_s, {}, u"skip|stop"_s,
        u"skip (the default): a failed step is skipped and the run goes on; stop: the first "
        u"failure ends the run."_s,
        Choice<ErrorPolicy>(u"on-error"_s, u"skip"_s, ErrorPolicy::Skip, u"stop"_s,
                            ErrorPolicy::Stop,
                            [](RunSettings &s) -> ErrorPolicy & { return s.onError; }));
    add(u"retry-failed"_s, {}, u"FILE"_s,
        u"Try again what a --failed file of the same job lists, and nothing else of the series: "
        u"its failed pages loaded and harvested whole, its failed links downloaded to where "
        u"they belong. --failed then receives what still fails and what the run did not "
        u"reach."_s,
        [](const QStringList &values, RunSettings &s) -> std::optional<QString> {
            s.retryFailedFile = Last(values);
            s.retry.clear();
            return failedlist::Read(s.retryFailedFile, s.retry);
        });
}

// What the run writes besides its files.
void AddOutputOptions(const Section &add)
{
    add(u"quiet"_s, u"q"_s, {},
        u"Nothing on standard output; on standard error only failures and the summary, no "
        u"progress line. Not with --json."_s,
        Flag([](RunSettings &s) { s.quiet = true; }));
    add(u"verbose"_s, u"v"_s, {},
        u"Add a log line for each request of a download, each try and redirect: \"Request: "
        u"ADDRESS STATUS BYTES bytes MS ms.\" (status 0: no answer). With --quiet or --json "
        u"they go to --log only."_s,
        Flag([](RunSettings &s) { s.verbose = true; }));
    add(u"log"_s, {}, u"FILE"_s,
        u"Append the log lines to the file too, each with the date and time, and the "
        u"summary at the end; the file is made readable by its owner only."_s,
        FileOf(&RunSettings::logFile));
    add(u"progress-every"_s, {}, u"SECONDS"_s,
        u"Where standard error is no terminal (cron, a container's log), write a progress line "
        u"there this often (default 60; 0: never). On a terminal the line redraws in place."_s,
        Count(u"progress-every"_s, 0,
              [](RunSettings &s) -> int & { return s.progressEverySeconds; }));
    add(u"failed"_s, {}, u"FILE"_s,
        u"Write what failed into the file, one a line: the address (blanks, control and "
        u"non-ASCII characters percent-encoded), a tab, the position of its page in the series "
        u"(from 0, as --shard counts), a tab, and page or link; cut -f1 leaves the "
        u"addresses."_s,
        FileOf(&RunSettings::failedFile));
    add(u"json"_s, {}, {},
        u"Write one JSON object a line instead of the log lines: page, links, saved, exists, "
        u"known, item, failure, done."_s,
        Flag([](RunSettings &s) { s.json = true; }));
}

// "Name: value" on one line, with a header's name; none of those that the run sends itself.
std::optional<QString> CheckHeader(const QString &header)
{
    const qsizetype colon = header.indexOf(u':');
    const QString name = header.left(colon);
    const QString value = header.mid(colon + 1).trimmed();
    static const QString kNameCharacters = u"!#$%&'*+-.^_`|~"_s;
    const bool nameOk = colon > 0 && std::all_of(name.begin(), name.end(), [](QChar c) {
                            return c.unicode() < 0x80
                                && (c.isLetterOrNumber() || kNameCharacters.contains(c));
                        });
    const bool valueOk = std::none_of(value.begin(), value.end(), [](QChar c) {
        return c != u'\t'
            && (c.category() == QChar::Other_Control || c == QChar::LineSeparator
                || c == QChar::ParagraphSeparator);
    });
    if (!nameOk || !valueOk)
        return u"--header takes \"Name: value\" on one line, with a name of letters, digits and "
               u"%1, not \"%2\"."_s.arg(kNameCharacters, header);
    const QString lower = name.toLower();
    if (lower == u"cookie"_s)
        return u"--header cannot send Cookie: give the cookies with --cookies."_s;
    if (lower == u"host"_s || lower == u"content-length"_s)
        return u"--header cannot send %1: the run sends it as the request needs it."_s.arg(name);
    return std::nullopt;
}

// Who the run is to the sites: cookies, user agent, headers.
void AddIdentityOptions(const Section &add)
{
    add(u"cookies"_s, {}, u"FILE"_s,
        u"Load the cookies of a Netscape cookies file (what browser extensions export) into "
        u"the browser before the first page, so that pages and downloads carry them."_s,
        [](const QStringList &values, RunSettings &s) -> std::optional<QString> {
            s.cookiesFile = Last(values);
            s.cookies.clear();
            return cookiesfile::Read(s.cookiesFile, QDateTime::currentSecsSinceEpoch(), s.cookies);
        });
    add(u"save-cookies"_s, {}, u"FILE"_s,
        u"Write the browser's cookies into the file in the same format as the run ends, "
        u"session cookies too, readable by its owner only; it may be the --cookies file."_s,
        FileOf(&RunSettings::saveCookiesFile));
    add(u"user-agent"_s, u"U"_s, u"TEXT"_s,
        u"The user agent of pages and downloads, instead of the browser engine's."_s,
        [](const QStringList &values, RunSettings &s) -> std::optional<QString> {
            const QString agent = Last(values);
            if (agent.trimmed().isEmpty() || std::any_of(agent.begin(), agent.end(), [](QChar c) {
                    return c.category() == QChar::Other_Control;
                }))
                return u"--user-agent takes a text on one line, not \"%1\"."_s.arg(agent);
            s.userAgent = agent;
            return std::nullopt;
        });
    add(u"header"_s, u"H"_s, u"'NAME: VALUE'"_s,
        u"Send the header with every page load, the requests of a page to its own host, and "
        u"every download (repeatable; not Host, Cookie or Content-Length)."_s,
        [](const QStringList &values, RunSettings &s) -> std::optional<QString> {
            s.headers.clear();
            for (const QString &header : values) {
                if (auto error = CheckHeader(header))
                    return error;
                const qsizetype colon = header.indexOf(u':');
                s.headers.append(header.left(colon).toUtf8() + ": "
                                 + header.mid(colon + 1).trimmed().toUtf8());
            }
            return std::nullopt;
        });
}

// The options of long runs: resuming, the archive, politeness, shards.
void AddLongRunOptions(const Section &add)
{
    add(u"journal"_s, {}, u"FILE"_s,
        u"Record each page fully handled in the file; started again with the same file and "
        u"job, the run goes on at the first page not fully handled and requests no file again "
        u"that was saved whole."_s,
        FileOf(&RunSettings::journalFile));
    add(u"archive"_s, {}, u"FILE"_s,
        u"Keep every address downloaded, with the path and size saved, in this SQLite file; a "
        u"link already in it is not requested. Runs may share one archive."_s,
        FileOf(&RunSettings::archiveFile));
    add(u"stop-after-known"_s, {}, u"N"_s,
        u"End the run after N kept links in a row that were all in the archive."_s,
        Count(u"stop-after-known"_s, 1, [](RunSettings &s) -> int & { return s.stopAfterKnown; }));
    add(u"retries"_s, {}, u"N"_s,
        u"Try a page or a download again up to N times when its connection drops, it times "
        u"out, or the server answers 5xx or 429 (default 2); a download's Retry-After is "
        u"honoured."_s,
        Count(u"retries"_s, 0, [](RunSettings &s) -> int & { return s.retries; }));
    add(u"shard"_s, {}, u"K/N"_s,
        u"Handle only the pages whose position in the series (from 0) is K modulo N, so that N "
        u"machines share one series."_s,
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

// Every option, section by section, in the order of the help; the help and the version come
// last and do nothing to the settings.
std::vector<Option> AllOptions()
{
    std::vector<Option> options;
    const auto add = [&options](Option option) { options.push_back(std::move(option)); };
    AddJobOptions({kJob, add});
    AddRunOptions({kRun, add});
    AddIdentityOptions({kIdentity, add});
    AddOutputOptions({kOutput, add});
    AddLongRunOptions({kLongRuns, add});
    limitoptions::AddLimitOptions({kLimits, add});
    const Section program{kProgram, add};
    const Apply nothing = [](const QStringList &, RunSettings &) {
        return std::optional<QString>();
    };
    program(u"help"_s, u"h"_s, {}, u"Show these options and exit."_s, nothing);
    program(u"version"_s, u"V"_s, {},
            u"Show the version of the program and of Qt, the browser engine and libcurl, and "
            u"exit."_s,
            nothing);
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

QString HelpText(const std::vector<optionparser::Option> &syntax)
{
    return u"Usage: linkhauler-run [options]\n"_s + optionparser::Wrapped(kDescription, 0, 79)
        + optionparser::OptionsHelp(syntax) + u'\n' + optionparser::Wrapped(kExitStatus, 0, 79);
}

} // namespace

CommandLine ParseCommandLine(const QStringList &arguments)
{
    const std::vector<Option> options = AllOptions();
    std::vector<optionparser::Option> syntax;
    for (const Option &o : options)
        syntax.push_back(o.syntax);
    const optionparser::Parsed parsed = optionparser::Parse(syntax, arguments.mid(1));
    if (!parsed.error.isEmpty())
        return Exit(exitstatus::kInvalid, parsed.error);

    // Every value of each option, in the order given.
    std::vector<QStringList> values(options.size());
    std::vector<bool> given(options.size(), false);
    for (const optionparser::Given &g : parsed.given) {
        given[g.option] = true;
        values[g.option].append(g.value);
    }
    const auto isGiven = [&](const QString &name) {
        for (std::size_t i = 0; i < options.size(); ++i)
            if (options[i].syntax.name == name)
                return bool(given[i]);
        return false;
    };
    if (isGiven(u"help"_s))
        return Exit(exitstatus::kDone, HelpText(syntax));
    if (isGiven(u"version"_s)) {
        CommandLine result;
        result.action = CommandLine::Action::Version;
        return result;
    }
    if (!parsed.operands.isEmpty())
        return Exit(exitstatus::kInvalid,
                    u"Unexpected argument \"%1\"; the address goes after --address."_s.arg(
                        parsed.operands.constFirst()));

    CommandLine result;
    for (std::size_t i = 0; i < options.size(); ++i)
        if (given[i] && options[i].syntax.name == u"job"_s) {
            result.settings.jobFile = values[i].constLast();
            if (auto error = jobinput::ReadJobFile(result.settings.jobFile, result.settings.job))
                return Exit(exitstatus::kInvalid, *error);
        }
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (!given[i])
            continue;
        if (auto error = options[i].apply(values[i], result.settings))
            return Exit(exitstatus::kInvalid, *error);
    }
    return result;
}
