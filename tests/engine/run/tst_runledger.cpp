// A run with a ledger: the pages it visits (and loads ahead), the links it holds already, the
// end after enough known links, and a page waiting for its host's turn.
#include "runfakes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

struct FakeLedger final : RunLedger
{
    qint64 visitFrom = 0, every = 1; // positions from visitFrom on, every `every`th
    QHash<QString, Held> held;       // by file name
    int enough = 0;                  // known links in a row that end the run; 0: never
    int inARow = 0;
    QList<qint64> started, handled;
    QStringList saving, saved;

    bool VisitsPage(qint64 position) const override
    {
        return position >= visitFrom && (position - visitFrom) % every == 0;
    }
    void PageStarted(qint64 position) override { started.append(position); }
    void PageHandled(qint64 position, std::int32_t) override { handled.append(position); }
    Held LinkHeld(qint64, const QString &address, const QString &) const override
    {
        return held.value(address.section(u'/', -1), Held::No);
    }
    bool EnoughKnown(bool known) override
    {
        inARow = known ? inARow + 1 : 0;
        return enough > 0 && inARow >= enough;
    }
    void SavingFile(const QString &address, const QString &, const QString &) override
    {
        saving.append(address.section(u'/', -1));
    }
    void FileSaved(const QString &address, const QString &, qint64) override
    {
        saved.append(address.section(u'/', -1));
    }
};

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Names(const QStringList &addresses)
{
    QStringList names;
    for (const QString &address : addresses)
        names.append(address.section(u'/', -1));
    return names;
}

} // namespace

class TestRunLedger : public QObject
{
    Q_OBJECT

private slots:
    void visitsAndHolds_data();
    void visitsAndHolds();
    void pageWaitsForItsHost_data();
    void pageWaitsForItsHost();
};

void TestRunLedger::visitsAndHolds_data()
{
    QTest::addColumn<qint64>("visitFrom");
    QTest::addColumn<qint64>("every");
    QTest::addColumn<QStringList>("known");
    QTest::addColumn<QStringList>("savedWhole");
    QTest::addColumn<int>("enough");
    QTest::addColumn<int>("countFrom");
    QTest::addColumn<QStringList>("pages");     // navigated, and loaded ahead after the first
    QTest::addColumn<QStringList>("requested"); // files
    QTest::addColumn<QStringList>("records");   // addresses in the all-in-one files
    QTest::addColumn<int>("items");

    const QStringList none;
    const QStringList all{u"1a.zip"_s, u"1b.zip"_s, u"2a.zip"_s, u"2b.zip"_s,
                          u"3a.zip"_s, u"3b.zip"_s, u"4a.zip"_s, u"4b.zip"_s};
    QTest::newRow("every page") << 0LL << 1LL << none << none << 0 << 0
                                << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s} << all << all << 8;
    QTest::newRow("shard 1/2: odd positions, also ahead")
        << 1LL << 2LL << none << none << 0 << 0 << QStringList{u"2"_s, u"4"_s}
        << QStringList{u"2a.zip"_s, u"2b.zip"_s, u"4a.zip"_s, u"4b.zip"_s}
        << QStringList{u"2a.zip"_s, u"2b.zip"_s, u"4a.zip"_s, u"4b.zip"_s} << 4;
    QTest::newRow("resumed at the third page, its first file saved whole, the count carried on")
        << 2LL << 1LL << none << QStringList{u"3a.zip"_s} << 0 << 4 << QStringList{u"3"_s, u"4"_s}
        << QStringList{u"3b.zip"_s, u"4a.zip"_s, u"4b.zip"_s}
        << QStringList{u"3a.zip"_s, u"3b.zip"_s, u"4a.zip"_s, u"4b.zip"_s} << 8;
    QTest::newRow("known links neither fetched, recorded nor counted")
        << 0LL << 1LL << QStringList{u"1b.zip"_s, u"3a.zip"_s} << none << 0 << 0
        << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s}
        << QStringList{u"1a.zip"_s, u"2a.zip"_s, u"2b.zip"_s, u"3b.zip"_s, u"4a.zip"_s, u"4b.zip"_s}
        << QStringList{u"1a.zip"_s, u"2a.zip"_s, u"2b.zip"_s, u"3b.zip"_s, u"4a.zip"_s, u"4b.zip"_s}
        << 6;
    // Two known in a row on page 2, not on page 1: the run ends there, as its series would.
    QTest::newRow("enough known in a row end the run")
        << 0LL << 1LL << QStringList{u"1b.zip"_s, u"2a.zip"_s, u"2b.zip"_s, u"3a.zip"_s} << none
        << 3 << 0 << QStringList{u"1"_s, u"2"_s} << QStringList{u"1a.zip"_s}
        << QStringList{u"1a.zip"_s} << 1;
}

void TestRunLedger::visitsAndHolds()
{
    QFETCH(qint64, visitFrom);
    QFETCH(qint64, every);
    QFETCH(QStringList, known);
    QFETCH(QStringList, savedWhole);
    QFETCH(int, enough);
    QFETCH(int, countFrom);
    QFETCH(QStringList, pages);
    QFETCH(QStringList, requested);
    QFETCH(QStringList, records);
    QFETCH(int, items);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeLedger ledger;
    ledger.visitFrom = visitFrom;
    ledger.every = every;
    ledger.enough = enough;
    for (const QString &name : known)
        ledger.held.insert(name, RunLedger::Held::Known);
    for (const QString &name : savedWhole) {
        ledger.held.insert(name, RunLedger::Held::SavedWhole);
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("whole") == 5);
    }
    RunRig rig(countFrom, &ledger);
    rig.browser.canLoadAhead = true;
    rig.job.f.stopNum = u"4"_s;
    rig.job.f.saveLinks = 1;
    rig.job.f.saveLinksFolder = dir.path();
    rig.job.f.saveHREFs = 1;
    rig.job.f.saveHREFsFolder = dir.path();
    for (int n = 1; n <= 4; ++n)
        rig.browser.pages.insert(u"http://h/d/p%1.htm"_s.arg(n),
                                 FakePage{LoadResult::Succeeded,
                                          {},
                                          u"<a href=\"%1a.zip\"><a href=\"%1b.zip\">"_s.arg(n)});

    rig.run->Go();

    QStringList expectedPages;
    for (const QString &page : pages)
        expectedPages.append(u"http://h/d/p%1.htm"_s.arg(page));
    QCOMPARE(rig.browser.navigated, expectedPages);
    // A page not visited never loads ahead either; pages did load ahead.
    QVERIFY(!rig.browser.loadedAhead.isEmpty());
    for (const QString &ahead : std::as_const(rig.browser.loadedAhead))
        QVERIFY2(ledger.VisitsPage(ahead.section(u'p', -1).chopped(4).toLongLong() - 1),
                 qPrintable(ahead));
    QCOMPARE(Names(rig.transfer.requested), requested);
    QCOMPARE(ledger.saved, requested);
    QStringList recorded;
    for (const QString &name : QDir(dir.path()).entryList({u"*.txt"_s}, QDir::Files, QDir::Name))
        for (const QByteArray &line : ReadAll(dir.filePath(name)).split('\n'))
            if (!line.isEmpty())
                recorded.append(QString::fromUtf8(line).section(u'/', -1).chopped(2));
    QCOMPARE(recorded, records);
    QCOMPARE(rig.view.messages().filter(u"Already in the archive: "_s).size(),
             enough ? enough : known.size());
    QCOMPARE(rig.view.messages().last(), u"Done.  Items downloaded: %1."_s.arg(items));
    // A page ended by known links is not handled to its end.
    QCOMPARE(ledger.handled.size(), ledger.started.size() - (enough ? 1 : 0));
}

void TestRunLedger::pageWaitsForItsHost_data()
{
    QTest::addColumn<QList<qint64>>("turns");
    QTest::addColumn<bool>("stop");
    QTest::newRow("due after two waits") << QList<qint64>{20, 10} << false;
    QTest::newRow("Stop ends a long wait") << QList<qint64>{3600000} << true;
}

void TestRunLedger::pageWaitsForItsHost()
{
    QFETCH(QList<qint64>, turns);
    QFETCH(bool, stop);
    RunRig rig;
    rig.transfer.turns = turns;
    // Later than the events the run handles before its first page.
    if (stop)
        QTimer::singleShot(50, rig.run.get(), [&rig] { rig.run->Stop(); });

    rig.run->Go();

    QVERIFY(rig.transfer.turns.isEmpty());
    QCOMPARE(rig.browser.navigated.size(), stop ? 0 : 1);
    QCOMPARE(rig.view.messages().last(),
             stop ? u"Action has been cancelled!"_s : u"Done.  Items downloaded: 0."_s);
}

QTEST_GUILESS_MAIN(TestRunLedger)
#include "tst_runledger.moc"
