// The job as linkhauler-run reads it: options, the job file with the Setup page's control
// names, and what each refuses.
#include "commandline.h"
#include "jobcheck.h"
#include "optionparser.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;

using Change = std::function<void(JobFields &)>;
Q_DECLARE_METATYPE(Change)
using SettingsChange = std::function<void(RunSettings &)>;
Q_DECLARE_METATYPE(SettingsChange)

namespace {

// Every field, so that a field a row did not expect to change shows too.
QStringList Fields(const JobFields &f)
{
    return {f.address,
            QString::number(f.incNum),
            f.startNum,
            f.stopNum,
            f.incrementNumerically,
            QString::number(f.incAlpha),
            f.startAlpha,
            f.stopAlpha,
            f.incrementAlphabetically,
            f.beginning.join(u'|'),
            QString::number(f.or1),
            f.interior.join(u'|'),
            QString::number(f.or2),
            f.end.join(u'|'),
            f.timeOut,
            f.defaultExtension,
            QString::number(f.overwrite),
            QString::number(f.saveLinks),
            f.saveLinksFolder,
            QString::number(f.saveHREFs),
            QString::number(f.oneHREFPerFile),
            f.saveHREFsFolder};
}

// The action, every field and the run's settings that options set.
QStringList Described(const CommandLine &line)
{
    const RunSettings &s = line.settings;
    return QStringList{QString::number(static_cast<int>(line.action))} + Fields(s.job)
        + QStringList{QString::number(s.allLinks),
                      QString::number(s.quiet),
                      QString::number(s.json),
                      s.failedFile,
                      QString::number(s.delayMs),
                      s.userAgent,
                      QString::fromUtf8(s.headers.join('|')),
                      QString::number(s.verbose),
                      QString::number(s.delayMaxMs),
                      QString::number(s.maxBytes) + u' ' + s.maxSizeText,
                      QString::number(s.maxTimeSeconds),
                      QString::number(s.quotaBytes) + u' ' + s.quotaText,
                      QString::number(s.rateBytesPerSecond)};
}

} // namespace

class tst_CommandLine final : public QObject
{
    Q_OBJECT

private slots:
    void readsTheJob_data();
    void readsTheJob();
    void readsTheSyntax_data();
    void readsTheSyntax();
    void completionKnowsEveryOption();
    void helpPutsShortSynopsesBesideTheirText_data();
    void helpPutsShortSynopsesBesideTheirText();
};

void tst_CommandLine::readsTheJob_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("jobFile");
    QTest::addColumn<Change>("expected"); // applied to the window's initial values
    QTest::addColumn<QString>("refusal"); // empty: accepted

    const Change none = [](JobFields &) {};
    QTest::newRow("control names and their values")
        << QStringList{}
        << QByteArray(R"({"txtAddress": "http://h/p^N.htm", "chkIncNum": 1, "txtStartNum": "2",
            "txtStopNum": "9", "lstBeginning": ["http"], "optAnd1": true, "lstEnd": ["zip", "exe"],
            "txtDefaultExtension": ".zip", "chkSaveLinks": true, "txtSaveLinks": "/data/out",
            "optOneHREFPerFile": true, "lstPatterns": ["gif"]})")
        << Change([](JobFields &f) {
               f.address = u"http://h/p^N.htm"_s;
               f.incNum = 1;
               f.startNum = u"2"_s;
               f.stopNum = u"9"_s;
               f.beginning = {u"http"_s};
               f.or1 = false;
               f.end = {u"zip"_s, u"exe"_s};
               f.defaultExtension = u"zip"_s; // as the field keeps it once left
               f.saveLinks = 1;
               f.saveLinksFolder = u"/data/out"_s;
               f.oneHREFPerFile = true;
           })
        << QString();
    QTest::newRow("options override the file")
        << QStringList{u"-a"_s,  u"http://b/"_s, u"-e"_s, u"gif"_s, u"--contains-ends"_s,
                       u"and"_s, u"--timeout"_s, u"5"_s}
        << QByteArray(R"({"txtAddress": "http://a/", "lstEnd": ["zip"], "txtTimeOut": "9"})")
        << Change([](JobFields &f) {
               f.address = u"http://b/"_s;
               f.end = {u"gif"_s};
               f.or2 = false;
               f.timeOut = u"5"_s;
           })
        << QString();
    QTest::newRow("series and modes")
        << QStringList{u"-n"_s, u"10:1:-3"_s, u"--overwrite"_s, u"--hrefs"_s, u"one-per-file"_s}
        << QByteArray() << Change([](JobFields &f) {
               f.incNum = 1;
               f.startNum = u"10"_s;
               f.incrementNumerically = u"-3"_s;
               f.overwrite = 1;
               f.oneHREFPerFile = true;
           })
        << QString();

    const auto refused = [&](const char *name, QStringList arguments, QByteArray json,
                             const QString &text) {
        QTest::newRow(name) << arguments << json << none << text;
    };
    refused("an unknown key", {}, R"({"txtAdress": "x"})",
            u"Unknown key \"txtAdress\" in the job file."_s);
    refused("a tick box of 2", {}, R"({"chkIncNum": 2})", u"\"chkIncNum\" must be 0 or 1."_s);
    refused("a number for a text", {}, R"({"txtStartNum": 1})",
            u"\"txtStartNum\" must be a text."_s);
    refused("both options of a pair", {}, R"({"optAnd2": true, "optOr2": true})",
            u"\"optAnd2\" and \"optOr2\" cannot both be selected."_s);
    refused("an entry twice", {}, R"({"lstEnd": ["zip", "zip"]})",
            u"\"lstEnd\": The end variable 'zip' already exists."_s);
    refused("a blank entry", {u"-b"_s, u"   "_s}, {},
            u"--begins: You can not add an empty variable."_s);
    refused("not JSON", {}, "{\"txtAddress\": ", u"The job file is not valid JSON"_s);
    refused("a series without its stop", {u"--numbers"_s, u"5"_s}, {},
            u"--numbers takes START:STOP or START:STOP:STEP, not \"5\"."_s);
    // The window resets these fields when its box is unticked, so no job holds them otherwise.
    refused(
        "a counter field with its box off", {}, R"({"txtStopNum": "5"})",
        u"\"txtStopNum\" is \"5\", but without --numbers (chkIncNum not ticked) it holds \"1\"."_s);
}

void tst_CommandLine::readsTheJob()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, jobFile);
    QFETCH(Change, expected);
    QFETCH(QString, refusal);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!jobFile.isNull()) {
        QFile file(dir.filePath(u"job.json"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(jobFile);
        arguments.append({u"--job"_s, file.fileName()});
    }
    arguments.prepend(u"linkhauler-run"_s);
    const CommandLine parsed = ParseCommandLine(arguments);

    if (refusal.isEmpty()) {
        QCOMPARE(parsed.action, CommandLine::Action::Run);
        JobFields want;
        expected(want);
        QCOMPARE(Fields(parsed.settings.job), Fields(want));
        return;
    }
    const QString message = parsed.action == CommandLine::Action::Exit
        ? parsed.message
        : CheckBeforeRun(parsed.settings).value_or(QString());
    QVERIFY2(message.contains(refusal), qPrintable(message));
}

void tst_CommandLine::readsTheSyntax_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<SettingsChange>("expected"); // applied to the defaults
    QTest::addColumn<QString>("error");           // empty: accepted

    const int run = static_cast<int>(CommandLine::Action::Run);
    const auto folder = [](const QString &path, bool quiet = false) {
        return SettingsChange([=](RunSettings &s) {
            s.quiet = quiet;
            s.job.saveLinks = 1;
            s.job.saveLinksFolder = path;
        });
    };
    const auto accepted = [&](const char *name, const QStringList &arguments,
                              const SettingsChange &expected) {
        QTest::newRow(name) << arguments << run << expected << QString();
    };
    accepted("short options combine, the last takes the next argument", {u"-qo"_s, u"out"_s},
             folder(u"out"_s, true));
    accepted("flags, then an option with its value attached", {u"-qoout"_s},
             folder(u"out"_s, true));
    accepted("a value that starts with the home folder's tilde", {u"-o~/out"_s},
             folder(u"~/out"_s));
    accepted("a value after = may hold = and start with a dash", {u"--save-links=-a=b"_s},
             folder(u"-a=b"_s));
    accepted("the argument after an option that takes a value is its value",
             {u"-a"_s, u"--numbers"_s}, [](RunSettings &s) { s.job.address = u"--numbers"_s; });
    accepted("a word after one dash is short options, not a long one", {u"-address"_s},
             [](RunSettings &s) { s.job.address = u"ddress"_s; });
    accepted("repeated options add up in order", {u"-ezip"_s, u"--ends=rar"_s, u"-e"_s, u"7z"_s},
             [](RunSettings &s) {
                 s.job.end = {u"zip"_s, u"rar"_s, u"7z"_s};
             });
    accepted("-T as the time-out beside -t", {u"-T"_s, u"7"_s},
             [](RunSettings &s) { s.job.timeOut = u"7"_s; });
    accepted("headers in order without the blanks around their values, and a user agent",
             {u"-HX-Token:  abc "_s, u"--header=Accept-Language:fr"_s, u"-U"_s, u"Bot/1"_s},
             [](RunSettings &s) {
                 s.headers = {"X-Token: abc", "Accept-Language: fr"};
                 s.userAgent = u"Bot/1"_s;
             });
    accepted("-v is verbose, no longer the version", {u"-v"_s},
             [](RunSettings &s) { s.verbose = true; });
    accepted(
        "sizes 1024-based with their text as given, and a time",
        {u"--max-size=10M"_s, u"--quota"_s, u"512"_s, u"--limit-rate=200k"_s, u"--max-time=30"_s},
        [](RunSettings &s) {
            s.maxBytes = 10 * 1024 * 1024;
            s.maxSizeText = u"10M"_s;
            s.quotaBytes = 512;
            s.quotaText = u"512"_s;
            s.rateBytesPerSecond = 200 * 1024;
            s.maxTimeSeconds = 30;
        });
    accepted("a delay range", {u"--delay-ms=300-900"_s}, [](RunSettings &s) {
        s.delayMs = 300;
        s.delayMaxMs = 900;
    });
    accepted("one delay is a fixed one", {u"--delay-ms=250"_s}, [](RunSettings &s) {
        s.delayMs = 250;
        s.delayMaxMs = 250;
    });
    QTest::newRow("-V shows the versions")
        << QStringList{u"-qV"_s} << static_cast<int>(CommandLine::Action::Version)
        << SettingsChange([](RunSettings &) {}) << QString();

    const auto refused = [&](const char *name, const QStringList &arguments, const QString &error) {
        QTest::newRow(name) << arguments << run << SettingsChange() << error;
    };
    refused("an unknown long option", {u"--adress"_s, u"x"_s},
            u"Unknown option \"--adress\"; see linkhauler-run --help."_s);
    refused("an unknown letter among flags", {u"-qz"_s},
            u"Unknown option \"-z\" in \"-qz\"; see linkhauler-run --help."_s);
    refused("a short option without its value", {u"-q"_s, u"-o"_s},
            u"Option \"-o\" needs a value; see linkhauler-run --help."_s);
    refused("a long option without its value", {u"--save-links"_s},
            u"Option \"--save-links\" needs a value; see linkhauler-run --help."_s);
    refused("a flag given a value", {u"--overwrite=yes"_s},
            u"Option \"--overwrite\" takes no value; see linkhauler-run --help."_s);
    refused("a header that would start another", {u"-H"_s, u"X-A: 1\r\nX-B: 2"_s},
            u"--header takes \"Name: value\" on one line, with a name of letters, digits and "
            u"!#$%&'*+-.^_`|~, not \"X-A: 1\r\nX-B: 2\"."_s);
    refused("a header name with a blank", {u"-HX Token: abc"_s},
            u"--header takes \"Name: value\" on one line, with a name of letters, digits and "
            u"!#$%&'*+-.^_`|~, not \"X Token: abc\"."_s);
    refused("the cookies are --cookies'", {u"-Hcookie: a=1"_s},
            u"--header cannot send Cookie: give the cookies with --cookies."_s);
    refused("the host follows the address", {u"-HHost: elsewhere"_s},
            u"--header cannot send Host: the run sends it as the request needs it."_s);
    refused("a user agent on two lines", {u"-Ua\nb"_s},
            u"--user-agent takes a text on one line, not \"a\nb\"."_s);
    const QString size = u"--%1 takes %2 above 0, with k, M or G after it (1024-based) if "
                         u"wanted, not \"%3\"."_s;
    refused("a size of 0", {u"--max-size=0"_s}, size.arg(u"max-size"_s, u"a size"_s, u"0"_s));
    refused("a size in words", {u"--quota=5MB"_s}, size.arg(u"quota"_s, u"a size"_s, u"5MB"_s));
    refused("a size no file holds", {u"--max-size=9999999999G"_s},
            size.arg(u"max-size"_s, u"a size"_s, u"9999999999G"_s));
    refused("a negative rate", {u"--limit-rate=-5k"_s},
            size.arg(u"limit-rate"_s, u"bytes per second"_s, u"-5k"_s));
    refused("no time at all", {u"--max-time=0"_s},
            u"--max-time takes a whole number from 1 on, not \"0\"."_s);
    for (const char *delay : {"900-300", "1-2-3", "+5", "-5"})
        refused(delay, {u"--delay-ms="_s + QLatin1StringView(delay)},
                u"--delay-ms takes MS or MIN-MAX in milliseconds, MIN not above MAX, not "
                u"\"%1\"."_s.arg(QLatin1StringView(delay)));
    refused("an option after -- is an argument", {u"--"_s, u"-q"_s},
            u"Unexpected argument \"-q\"; the address goes after --address."_s);
}

void tst_CommandLine::readsTheSyntax()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(SettingsChange, expected);
    QFETCH(QString, error);

    const CommandLine parsed = ParseCommandLine(QStringList{u"linkhauler-run"_s} + arguments);
    if (!error.isEmpty()) {
        QCOMPARE(parsed.action, CommandLine::Action::Exit);
        QCOMPARE(parsed.exitStatus, 2);
        QCOMPARE(parsed.message, error);
        return;
    }
    CommandLine want;
    want.action = static_cast<CommandLine::Action>(action);
    expected(want.settings);
    QCOMPARE(Described(parsed), Described(want));
}

void tst_CommandLine::completionKnowsEveryOption()
{
    QFile file(QStringLiteral(LH_COMPLETION));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString completion = QString::fromUtf8(file.readAll());
    QProcess bash;
    bash.start(u"bash"_s, {u"-n"_s, file.fileName()});
    QVERIFY(bash.waitForFinished(10000));
    QVERIFY2(bash.exitCode() == 0, bash.readAllStandardError().constData());

    // "  -a, --address=URL" or "      --overwrite": each option of the help, valued or not.
    const QString help = ParseCommandLine({u"linkhauler-run"_s, u"--help"_s}).message;
    const QRegularExpression synopsis(u"^(?:  (?:-., )+|      )--([a-z-]+)(=?)"_s,
                                      QRegularExpression::MultilineOption);
    int options = 0;
    for (const QRegularExpressionMatch &m : synopsis.globalMatch(help)) {
        const QString word = u"--"_s + m.captured(1) + m.captured(2);
        // As a word of its own: "--json" is not "--json-lines" nor "--json=".
        QVERIFY2(QRegularExpression(u"(?<![\\w-])"_s + QRegularExpression::escape(word)
                                    + u"(?![\\w=-])"_s)
                     .match(completion)
                     .hasMatch(),
                 qPrintable(word));
        ++options;
    }
    QVERIFY(options > 20);
}

QTEST_GUILESS_MAIN(tst_CommandLine)
void tst_CommandLine::helpPutsShortSynopsesBesideTheirText_data()
{
    QTest::addColumn<QString>("valueName");
    QTest::addColumn<QString>("help");
    // Descriptions start in column 30: a synopsis needs two blanks before them.
    QTest::newRow("28 columns: beside it")
        << u"VALUE67890123"_s << u"  -h, --header=VALUE67890123  Text.\n"_s;
    QTest::newRow("29 columns: above it")
        << u"VALUE678901234"_s
        << u"  -h, --header=VALUE678901234\n                              Text.\n"_s;
}

void tst_CommandLine::helpPutsShortSynopsesBesideTheirText()
{
    QFETCH(QString, valueName);
    QFETCH(QString, help);
    QCOMPARE(optionparser::OptionsHelp({{u"header"_s, u"h"_s, valueName, u"Text."_s, u"S"_s}}),
             u"\nS:\n"_s + help);
}

#include "tst_commandline.moc"
