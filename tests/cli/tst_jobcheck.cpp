#include "commandline.h"
#include "jobcheck.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Shards and one value per file: the pages of one number share a file, so a series whose
// letters would give them to different shards is refused before anything is fetched.
class TestJobCheck : public QObject
{
    Q_OBJECT

private slots:
    void shardsOfOneValueFiles_data();
    void shardsOfOneValueFiles();
};

void TestJobCheck::shardsOfOneValueFiles_data()
{
    QTest::addColumn<QString>("numbers");
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QString>("refusal"); // a part of the message; empty: none
    const QString shared = u"pages of one number share their file"_s;
    QTest::newRow("one letter: no number's pages part") << u"1:3"_s << u"a:a"_s << QString();
    QTest::newRow("two letters, pages that divide") << u"1:4"_s << u"a:b"_s << QString();
    QTest::newRow("two letters, pages that do not divide") << u"1:3"_s << u"a:b"_s << shared;
    // Refused before its shards are looked at.
    QTest::newRow("an endless series") << u"1:3:0"_s << u"a:b"_s << u"never ends"_s;
}

void TestJobCheck::shardsOfOneValueFiles()
{
    QFETCH(QString, numbers);
    QFETCH(QString, letters);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const CommandLine parsed = ParseCommandLine(
        {u"linkhauler-run"_s, u"-a"_s, u"http://h/s^N^L.htm"_s, u"-n"_s, numbers, u"-l"_s, letters,
         u"-e"_s, u".bin"_s, u"-x"_s, u"txt"_s, u"-r"_s, dir.path(), u"--hrefs"_s,
         u"one-per-file"_s, u"--shard"_s, u"0/2"_s});
    QCOMPARE(parsed.action, CommandLine::Action::Run);
    const std::optional<QString> refused = CheckBeforeRun(parsed.settings);
    QCOMPARE(refused.has_value(), !refusal.isEmpty());
    QVERIFY2(refused.value_or(QString()).contains(refusal),
             qPrintable(refused.value_or(QString())));
}

QTEST_GUILESS_MAIN(TestJobCheck)
#include "tst_jobcheck.moc"
