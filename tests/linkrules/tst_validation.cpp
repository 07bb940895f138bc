#include "validation.h"

#include <QTest>

using namespace Qt::StringLiterals;
using validation::Field;

Q_DECLARE_METATYPE(validation::Field)

namespace {

// A job that passes every check, changed by "field=value|field=value".
JobFields Job(const QString &changes)
{
    JobFields f;
    f.address = u"http://host/list^N.htm"_s;
    f.defaultExtension = u"htm"_s;
    for (const QString &change : changes.split(u'|', Qt::SkipEmptyParts)) {
        const QString key = change.section(u'=', 0, 0);
        const QString value = change.section(u'=', 1);
        QString *const texts[] = {&f.address,
                                  &f.startNum,
                                  &f.stopNum,
                                  &f.incrementNumerically,
                                  &f.startAlpha,
                                  &f.stopAlpha,
                                  &f.incrementAlphabetically,
                                  &f.defaultExtension,
                                  &f.saveLinksFolder,
                                  &f.saveHREFsFolder};
        int *const ticks[] = {&f.incNum, &f.incAlpha, &f.saveLinks, &f.saveHREFs};
        const QStringList textKeys{u"address"_s, u"start"_s, u"stop"_s, u"step"_s,   u"startL"_s,
                                   u"stopL"_s,   u"stepL"_s, u"ext"_s,  u"folder"_s, u"file"_s};
        const QStringList tickKeys{u"incNum"_s, u"incAlpha"_s, u"saveLinks"_s, u"saveHREFs"_s};
        if (const qsizetype i = textKeys.indexOf(key); i >= 0)
            *texts[i] = value;
        else
            *ticks[tickKeys.indexOf(key)] = value.toInt();
    }
    return f;
}

const QString kGreater = u"OOPS! You start number is greater than your stop number but your "
                         u"incrmentation is not negative!"_s;
const QString kNoN = u"OOPS! You checked the 'Increment numerically' checkbox but did not enter "
                     u"any wildcards (^N) into the address textbox!"_s;
const QString kNoL = u"OOPS! You checked the 'Increment alphabetically' checkbox but did not "
                     u"enter any wildcards (^L) into the address textbox!"_s;

QString NotANumber(const char *label, const char *box)
{
    return u"OOPS! The '%1' field under '%2' does not hold a number!"_s.arg(
        QLatin1StringView(label), QLatin1StringView(box));
}

QString OutOfRange(const char *label)
{
    return u"OOPS! The '%1' field under 'Increment numerically' must lie between -2147483648 "
           u"and 2147483647!"_s.arg(QLatin1StringView(label));
}

} // namespace

class TestValidation : public QObject
{
    Q_OBJECT

private slots:
    void refusals_data();
    void refusals();
    void passes_data();
    void passes();
    void invalidExtensionAndCriteriaQuestion();
};

void TestValidation::refusals_data()
{
    QTest::addColumn<QString>("changes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<Field>("focus");
    const char *n = "Increment numerically";

    QTest::newRow("no address") << u"address="_s << u"OOPS! You forgot to enter an address!"_s
                                << Field::txtAddress;
    QTest::newRow("address of blanks")
        << u"address= \t "_s << u"OOPS! You forgot to enter an address!"_s << Field::txtAddress;
    QTest::newRow("^n is no wildcard") << u"incNum=1|address=x^n"_s << kNoN << Field::txtAddress;
    QTest::newRow("start above stop")
        << u"incNum=1|start=5|stop=1"_s << kGreater << Field::txtIncrementNumerically;
    QTest::newRow("start above stop once rounded")
        << u"incNum=1|start=3.5|stop=3.4"_s << kGreater << Field::txtIncrementNumerically;
    QTest::newRow("letter tick without ^L") << u"incAlpha=1"_s << kNoL << Field::txtAddress;
    QTest::newRow("letters reversed")
        << u"incAlpha=1|address=^L|startL=c"_s << kGreater << Field::txtIncrementAlphabetically;
    QTest::newRow("small sorts after capital")
        << u"incAlpha=1|address=^L|stopL=B"_s << kGreater << Field::txtIncrementAlphabetically;
    QTest::newRow("no destination folder")
        << u"saveLinks=1"_s << u"OOPS! You didn't enter a destination path!"_s
        << Field::txtSaveLinks;
    QTest::newRow("folder before extension")
        << u"saveLinks=1|ext="_s << u"OOPS! You didn't enter a destination path!"_s
        << Field::txtSaveLinks;
    QTest::newRow("no extension") << u"ext="_s << u"OOPS! You didn't enter a default extension!"_s
                                  << Field::txtDefaultExtension;
    QTest::newRow("no destination file")
        << u"saveHREFs=1"_s << u"OOPS! You didn't enter a destination file!"_s
        << Field::txtSaveHREFs;
    // Fields that are not numbers are refused where they are converted, ticked or not.
    QTest::newRow("start not a number")
        << u"start=abc"_s << NotANumber("Start at", n) << Field::txtStartNum;
    QTest::newRow("stop empty") << u"stop="_s << NotANumber("Stop at", n) << Field::txtStopNum;
    QTest::newRow("step with a comma")
        << u"step=1,5"_s << NotANumber("Increment", n) << Field::txtIncrementNumerically;
    QTest::newRow("start too large")
        << u"start=3000000000"_s << OutOfRange("Start at") << Field::txtStartNum;
    QTest::newRow("step too small")
        << u"step=-1e10"_s << OutOfRange("Increment") << Field::txtIncrementNumerically;
    QTest::newRow("letter step not a number")
        << u"stepL=x"_s << NotANumber("Increment", "Increment alphabetically")
        << Field::txtIncrementAlphabetically;
    QTest::newRow("^N check before numbers")
        << u"incNum=1|address=x|start=x"_s << kNoN << Field::txtAddress;
    QTest::newRow("numbers before ^L check")
        << u"incAlpha=1|stop=?"_s << NotANumber("Stop at", n) << Field::txtStopNum;
    QTest::newRow("^L check before letter step")
        << u"incAlpha=1|stepL="_s << kNoL << Field::txtAddress;
}

void TestValidation::refusals()
{
    QFETCH(QString, changes);
    QFETCH(QString, message);
    QFETCH(Field, focus);
    const auto refusal = validation::CheckJob(PlainJobSettings(Job(changes)));
    QVERIFY(refusal);
    QCOMPARE(refusal->message, message);
    QCOMPARE(refusal->focus, focus);
    QVERIFY(refusal->showSetupPage);
    QVERIFY(!refusal->clearField);
}

void TestValidation::passes_data()
{
    QTest::addColumn<QString>("changes");
    QTest::newRow("valid") << QString();
    QTest::newRow("wildcards without ticks") << u"address=x^N^L"_s;
    QTest::newRow("start above stop, step -1") << u"incNum=1|start=5|stop=1|step=-1"_s;
    QTest::newRow("start above stop, step 0") << u"incNum=1|start=5|stop=1|step=0"_s;
    QTest::newRow("halves to even: 2.5 and 1.5 both 2") << u"incNum=1|start=2.5|stop=1.5"_s;
    QTest::newRow("start above stop, not ticked") << u"start=5|stop=1"_s;
    QTest::newRow("tick counts only when 1") << u"incNum=2|address=x"_s;
    QTest::newRow("capital before small") << u"incAlpha=1|address=^L|startL=B|stopL=a"_s;
    QTest::newRow("letters reversed, step -1") << u"incAlpha=1|address=^L|startL=c|stepL=-1"_s;
    QTest::newRow("prefix sorts first") << u"incAlpha=1|address=^L|stopL=ab"_s;
    QTest::newRow("letter step beyond 32 bits") << u"stepL=1e12"_s;
    QTest::newRow("extension htm.") << u"ext=htm."_s;
    QTest::newRow("extension a/b") << u"ext=a/b"_s;
    QTest::newRow("folders of blanks") << u"saveLinks=1|folder= |saveHREFs=1|file= "_s;
}

void TestValidation::passes()
{
    QFETCH(QString, changes);
    const auto refusal = validation::CheckJob(PlainJobSettings(Job(changes)));
    QVERIFY2(!refusal, refusal ? qPrintable(refusal->message) : "");
}

void TestValidation::invalidExtensionAndCriteriaQuestion()
{
    // The invalid extension is the one refusal that empties its field and keeps the page.
    const auto invalid = validation::CheckJob(PlainJobSettings(Job(u"ext=h?m"_s)));
    QVERIFY(invalid);
    QCOMPARE(invalid->message, u"The extension you entered is invalid."_s);
    QCOMPARE(invalid->focus, Field::txtDefaultExtension);
    QVERIFY(!invalid->showSetupPage && invalid->clearField);

    JobFields f = Job({});
    QVERIFY(validation::NeedsCriteriaQuestion(PlainJobSettings(f)));
    f.end << u"zip"_s;
    QVERIFY(!validation::NeedsCriteriaQuestion(PlainJobSettings(f)));
}

QTEST_GUILESS_MAIN(TestValidation)
#include "tst_validation.moc"
