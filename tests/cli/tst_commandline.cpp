// The job as linkhauler-run reads it: options, the job file with the Setup page's control
// names, and what each refuses.
#include "commandline.h"
#include "jobcheck.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;

using Change = std::function<void(JobFields &)>;
Q_DECLARE_METATYPE(Change)

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

} // namespace

class tst_CommandLine final : public QObject
{
    Q_OBJECT

private slots:
    void readsTheJob_data();
    void readsTheJob();
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

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
