#include "validation.h"

#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;
using validation::Field;

Q_DECLARE_METATYPE(JobFields)
Q_DECLARE_METATYPE(validation::Field)

namespace {

const QString kStartGreater = u"OOPS! You start number is greater than your stop number but your "
                              u"incrmentation is not negative!"_s;

// A job that passes every check.
JobFields Valid()
{
    JobFields f;
    f.address = u"http://host/list^N.htm"_s;
    f.defaultExtension = u"htm"_s;
    return f;
}

JobFields With(const std::function<void(JobFields &)> &change)
{
    JobFields f = Valid();
    change(f);
    return f;
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
    void criteriaQuestion();
};

void TestValidation::refusals_data()
{
    QTest::addColumn<JobFields>("job");
    QTest::addColumn<QString>("message");
    QTest::addColumn<Field>("focus");
    QTest::addColumn<bool>("setupPage");
    QTest::addColumn<bool>("clear");

    auto row = [](const char *name, const JobFields &job, const QString &message, Field focus,
                  bool setupPage = true, bool clear = false) {
        QTest::newRow(name) << job << message << focus << setupPage << clear;
    };

    row("initial fields: no address", JobFields{}, u"OOPS! You forgot to enter an address!"_s,
        Field::txtAddress);
    row("address of blanks", With([](JobFields &f) { f.address = u" \t "_s; }),
        u"OOPS! You forgot to enter an address!"_s, Field::txtAddress);
    row("initial fields but an address", With([](JobFields &f) { f.defaultExtension.clear(); }),
        u"OOPS! You didn't enter a default extension!"_s, Field::txtDefaultExtension);
    row("numeric tick without ^N", With([](JobFields &f) {
            f.incNum = 1;
            f.address = u"http://host/list^n.htm"_s;
        }),
        u"OOPS! You checked the 'Increment numerically' checkbox but did not enter any "
        u"wildcards (^N) into the address textbox!"_s,
        Field::txtAddress);
    row("start above stop", With([](JobFields &f) {
            f.incNum = 1;
            f.startNum = u"5"_s;
            f.stopNum = u"1"_s;
        }),
        kStartGreater, Field::txtIncrementNumerically);
    row("start above stop after rounding", With([](JobFields &f) {
            f.incNum = 1;
            f.startNum = u"3.5"_s; // 4
            f.stopNum = u"3.4"_s;  // 3
        }),
        kStartGreater, Field::txtIncrementNumerically);
    row("letter tick without ^L", With([](JobFields &f) { f.incAlpha = 1; }),
        u"OOPS! You checked the 'Increment alphabetically' checkbox but did not enter any "
        u"wildcards (^L) into the address textbox!"_s,
        Field::txtAddress);
    row("start letter after stop letter", With([](JobFields &f) {
            f.incAlpha = 1;
            f.address = u"http://host/^L.htm"_s;
            f.startAlpha = u"c"_s;
        }),
        kStartGreater, Field::txtIncrementAlphabetically);
    row("small start sorts after capital stop", With([](JobFields &f) {
            f.incAlpha = 1;
            f.address = u"http://host/^L.htm"_s;
            f.stopAlpha = u"B"_s;
        }),
        kStartGreater, Field::txtIncrementAlphabetically);
    row("no destination folder", With([](JobFields &f) { f.saveLinks = 1; }),
        u"OOPS! You didn't enter a destination path!"_s, Field::txtSaveLinks);
    row("folder check before extension check", With([](JobFields &f) {
            f.saveLinks = 1;
            f.defaultExtension.clear();
        }),
        u"OOPS! You didn't enter a destination path!"_s, Field::txtSaveLinks);
    row("invalid extension", With([](JobFields &f) { f.defaultExtension = u"h?m"_s; }),
        u"The extension you entered is invalid."_s, Field::txtDefaultExtension, false, true);
    row("no destination file", With([](JobFields &f) { f.saveHREFs = 1; }),
        u"OOPS! You didn't enter a destination file!"_s, Field::txtSaveHREFs);

    // Fields that are not numbers are refused where they are converted, ticked or not.
    row("start not a number", With([](JobFields &f) { f.startNum = u"abc"_s; }),
        u"OOPS! The 'Start at' field under 'Increment numerically' does not hold a number!"_s,
        Field::txtStartNum);
    row("stop empty", With([](JobFields &f) { f.stopNum.clear(); }),
        u"OOPS! The 'Stop at' field under 'Increment numerically' does not hold a number!"_s,
        Field::txtStopNum);
    row("increment with a comma", With([](JobFields &f) { f.incrementNumerically = u"1,5"_s; }),
        u"OOPS! The 'Increment' field under 'Increment numerically' does not hold a number!"_s,
        Field::txtIncrementNumerically);
    row("start too large", With([](JobFields &f) { f.startNum = u"3000000000"_s; }),
        u"OOPS! The 'Start at' field under 'Increment numerically' must lie between "
        u"-2147483648 and 2147483647!"_s,
        Field::txtStartNum);
    row("increment too small", With([](JobFields &f) { f.incrementNumerically = u"-1e10"_s; }),
        u"OOPS! The 'Increment' field under 'Increment numerically' must lie between "
        u"-2147483648 and 2147483647!"_s,
        Field::txtIncrementNumerically);
    row("letter increment not a number", With([](JobFields &f) { f.incrementAlphabetically = u"x"_s; }),
        u"OOPS! The 'Increment' field under 'Increment alphabetically' does not hold a number!"_s,
        Field::txtIncrementAlphabetically);
    row("wildcard check before number check", With([](JobFields &f) {
            f.incNum = 1;
            f.address = u"http://host/"_s;
            f.startNum = u"x"_s;
        }),
        u"OOPS! You checked the 'Increment numerically' checkbox but did not enter any "
        u"wildcards (^N) into the address textbox!"_s,
        Field::txtAddress);
    row("number check before letter wildcard check", With([](JobFields &f) {
            f.incAlpha = 1;
            f.stopNum = u"?"_s;
        }),
        u"OOPS! The 'Stop at' field under 'Increment numerically' does not hold a number!"_s,
        Field::txtStopNum);
    row("letter increment checked after letter wildcard", With([](JobFields &f) {
            f.incAlpha = 1;
            f.incrementAlphabetically.clear();
        }),
        u"OOPS! You checked the 'Increment alphabetically' checkbox but did not enter any "
        u"wildcards (^L) into the address textbox!"_s,
        Field::txtAddress);
}

void TestValidation::refusals()
{
    QFETCH(JobFields, job);
    QFETCH(QString, message);
    QFETCH(Field, focus);
    QFETCH(bool, setupPage);
    QFETCH(bool, clear);
    const auto refusal = validation::CheckJob(PlainJobSettings(job));
    QVERIFY(refusal);
    QCOMPARE(refusal->message, message);
    QCOMPARE(refusal->focus, focus);
    QCOMPARE(refusal->showSetupPage, setupPage);
    QCOMPARE(refusal->clearField, clear);
}

void TestValidation::passes_data()
{
    QTest::addColumn<JobFields>("job");
    QTest::newRow("valid") << Valid();
    QTest::newRow("wildcards without ticks") << With([](JobFields &f) { f.address = u"x^N^L"_s; });
    QTest::newRow("start above stop, negative increment") << With([](JobFields &f) {
        f.incNum = 1;
        f.startNum = u"5"_s;
        f.stopNum = u"1"_s;
        f.incrementNumerically = u"-1"_s;
    });
    QTest::newRow("start above stop, zero increment") << With([](JobFields &f) {
        f.incNum = 1;
        f.startNum = u"5"_s;
        f.stopNum = u"1"_s;
        f.incrementNumerically = u"0"_s;
    });
    QTest::newRow("halves to even make start equal stop") << With([](JobFields &f) {
        f.incNum = 1;
        f.startNum = u"2.5"_s; // 2
        f.stopNum = u"1.5"_s;  // 2
    });
    QTest::newRow("start above stop, box not ticked") << With([](JobFields &f) {
        f.startNum = u"5"_s;
        f.stopNum = u"1"_s;
    });
    QTest::newRow("tick box counts only when exactly 1") << With([](JobFields &f) {
        f.incNum = 2;
        f.address = u"http://host/"_s;
    });
    QTest::newRow("capital start before small stop") << With([](JobFields &f) {
        f.incAlpha = 1;
        f.address = u"^L"_s;
        f.startAlpha = u"B"_s;
        f.stopAlpha = u"a"_s;
    });
    QTest::newRow("letters reversed, negative increment") << With([](JobFields &f) {
        f.incAlpha = 1;
        f.address = u"^L"_s;
        f.startAlpha = u"c"_s;
        f.incrementAlphabetically = u"-1"_s;
    });
    QTest::newRow("prefix sorts first") << With([](JobFields &f) {
        f.incAlpha = 1;
        f.address = u"^L"_s;
        f.startAlpha = u"a"_s;
        f.stopAlpha = u"ab"_s;
    });
    QTest::newRow("letter increment beyond 32 bits") << With([](JobFields &f) {
        f.incrementAlphabetically = u"1e12"_s;
    });
    QTest::newRow("extension with a trailing dot") << With([](JobFields &f) { f.defaultExtension = u"htm."_s; });
    QTest::newRow("extension with a slash") << With([](JobFields &f) { f.defaultExtension = u"a/b"_s; });
    QTest::newRow("folders of blanks") << With([](JobFields &f) {
        f.saveLinks = 1;
        f.saveLinksFolder = u" "_s;
        f.saveHREFs = 1;
        f.saveHREFsFolder = u" "_s;
    });
}

void TestValidation::passes()
{
    QFETCH(JobFields, job);
    const auto refusal = validation::CheckJob(PlainJobSettings(job));
    QVERIFY2(!refusal, refusal ? qPrintable(refusal->message) : "");
}

void TestValidation::criteriaQuestion()
{
    JobFields f = Valid();
    QVERIFY(validation::NeedsCriteriaQuestion(PlainJobSettings(f)));
    for (int which = 0; which < 3; ++which) {
        JobFields g = f;
        (which == 0 ? g.beginning : which == 1 ? g.interior : g.end) << u"x"_s;
        QVERIFY(!validation::NeedsCriteriaQuestion(PlainJobSettings(g)));
    }
}

QTEST_GUILESS_MAIN(TestValidation)
#include "tst_validation.moc"
