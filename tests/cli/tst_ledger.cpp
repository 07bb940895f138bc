// What linkhauler-run's ledger decides for a run: the pages of its shard that its journal does
// not have as done, the verdict on a link, the end after enough known links, and a fault.
#include "archive.h"
#include "journal.h"
#include "ledger.h"
#include "retryledger.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const Journal::Identity kIdentity{QJsonObject{{u"txtAddress"_s, u"http://h/^N.htm"_s}}, 1, 3};

} // namespace

class TestLedger final : public QObject
{
    Q_OBJECT

private slots:
    void pagesOfTheShard();
    void verdictsAndKnownInARow();
    void aJournalThatCannotBeWrittenFaults();
    void savedWithStandardInputClosed();
    void retriedLinks_data();
    void retriedLinks();
    void aNameTakenMeanwhileIsNoSave_data();
    void aNameTakenMeanwhileIsNoSave();
};

// Shard 1 of 3 over eight pages, of which the journal has 4 as done.
void TestLedger::pagesOfTheShard()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    {
        const std::unique_ptr<Journal> journal = Journal::Open(dir.filePath(u"j"_s), kIdentity,
                                                               error);
        QVERIFY2(journal, qPrintable(error));
        QVERIFY(journal->PageStarted(4) && journal->PageDone(4, 7));
    }
    const std::unique_ptr<Journal> journal = Journal::Open(dir.filePath(u"j"_s), kIdentity, error);
    QVERIFY2(journal, qPrintable(error));
    RunSettings settings;
    settings.shard = 1;
    settings.shards = 3;
    LongRunLedger ledger(settings, journal.get(), nullptr, {});
    QList<qint64> visited;
    for (qint64 position = 0; position < 8; ++position)
        if (ledger.VisitsPage(position))
            visited.append(position);
    QCOMPARE(visited, (QList<qint64>{1, 7}));
    QCOMPARE(ledger.PagesToVisit(8), 2);
    QCOMPARE(ledger.PagesToVisit(7), 1);
    QCOMPARE(ledger.PagesToVisit(1), 0);
    QCOMPARE(journal->ItemsSoFar(), 7);
}

void TestLedger::verdictsAndKnownInARow()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    const std::unique_ptr<Archive> archive = Archive::Open(dir.filePath(u"a"_s), error);
    QVERIFY2(archive, qPrintable(error));
    QVERIFY(archive->Add(u"http://h/known.zip"_s, dir.filePath(u"known.zip"_s), 10));
    RunSettings settings;
    settings.stopAfterKnown = 2;
    LongRunLedger ledger(settings, nullptr, archive.get(), {});
    QCOMPARE(ledger.LinkVerdict(0, u"http://h/known.zip"_s, u"/x"_s), RunLedger::Verdict::Known);
    QCOMPARE(ledger.LinkVerdict(0, u"http://h/new.zip"_s, u"/x"_s), RunLedger::Verdict::New);
    QList<bool> ends;
    for (const bool known : {true, false, true, true})
        ends.append(ledger.EnoughKnown(known));
    QCOMPARE(ends, (QList<bool>{false, false, false, true}));
    QVERIFY(ledger.EndedByKnown());
    QVERIFY(!ledger.Faulted());
}

// The run reads the fault at its check points; the message is told once.
void TestLedger::aJournalThatCannotBeWrittenFaults()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    const QString path = dir.filePath(u"j"_s);
    const std::unique_ptr<Journal> journal = Journal::Open(path, kIdentity, error);
    QVERIFY2(journal, qPrintable(error));
    RunSettings settings;
    settings.shard = 1;
    settings.shards = 3;
    QStringList told;
    LongRunLedger ledger(settings, journal.get(), nullptr,
                         [&told](const QString &message) { told.append(message); });
    struct sigaction ignore = {}, before = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &before);
    rlimit limit = {}, old = {};
    getrlimit(RLIMIT_FSIZE, &old);
    limit = old;
    limit.rlim_cur = static_cast<rlim_t>(QFileInfo(path).size());
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    ledger.PageStarted(1, u"http://h/1.htm"_s);
    ledger.PageHandled(1, 0);
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &before, nullptr);
    QVERIFY(ledger.Faulted());
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.constFirst().startsWith(u"The journal \""_s), qPrintable(told.constFirst()));
}

// A run from a script may have no standard input: the first file it opens then gets the lowest
// descriptor, 0, which is a file like any other.
void TestLedger::savedWithStandardInputClosed()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    const std::unique_ptr<Journal> journal = Journal::Open(dir.filePath(u"j"_s), kIdentity, error);
    QVERIFY2(journal, qPrintable(error));
    RunSettings settings;
    settings.shard = 1;
    settings.shards = 3;
    LongRunLedger ledger(settings, journal.get(), nullptr, {});
    LongRunFileStore files(journal.get(), ledger);
    const QString temporary = files.CreateTemporaryBeside(dir.filePath(u"f.bin"_s), error);
    QVERIFY2(!temporary.isEmpty(), qPrintable(error));
    const int input = ::dup(STDIN_FILENO);
    ::close(STDIN_FILENO);
    const bool replaced = files.MoveOnto(temporary, dir.filePath(u"f.bin"_s), true, error)
        == FileStore::Moved::Done;
    // The archive, made first by the program itself, owner-only, then gets descriptor 0.
    QString archiveError;
    const std::unique_ptr<Archive> archive = Archive::Open(dir.filePath(u"a"_s), archiveError);
    ::dup2(input, STDIN_FILENO);
    ::close(input);
    QVERIFY2(replaced, qPrintable(error));
    QVERIFY(QFileInfo(dir.filePath(u"f.bin"_s)).isFile());
    QVERIFY2(archive, qPrintable(archiveError));
    QVERIFY(archive->Add(u"http://h/x.bin"_s, dir.filePath(u"x.bin"_s), 10));
}

void TestLedger::retriedLinks_data()
{
    QTest::addColumn<QString>("address"); // as the link is downloaded and asked about
    QTest::addColumn<bool>("retried");
    QTest::newRow("listed") << u"http://h/a.bin"_s << true;
    QTest::newRow("listed, found with blanks around it") << u"http://h/b c.bin"_s << true;
    QTest::newRow("listed with its password hidden") << u"http://u:pw@h/d.bin"_s << true;
    QTest::newRow("listed with escapes of its own") << u"http://h/f%2fg%25.bin"_s << true;
    QTest::newRow("not listed") << u"http://h/e.bin"_s << false;
}

// A --failed file read back: its links are tried again, the page's others are not this run's.
void TestLedger::retriedLinks()
{
    QFETCH(QString, address);
    QFETCH(bool, retried);
    QList<failedlist::Entry> entries;
    QVERIFY(!failedlist::Parse("http://h/a.bin\t2\tlink\n%20http://h/b%20c.bin%20\t2\tlink\n"
                               "http://***@h/d.bin\t2\tlink\nhttp://h/f%2fg%25.bin\t2\tlink\n"
                               "http://h/p5.htm\t5\tpage\n",
                               entries));
    const RunSettings settings;
    LongRunLedger inner(settings, nullptr, nullptr, {});
    RetryLedger ledger(inner, entries);
    QVERIFY(ledger.VisitsPage(2) && ledger.VisitsPage(5) && !ledger.VisitsPage(3));
    // The progress total: pages listed for their links count too, those within the series.
    QCOMPARE(ledger.PagesToVisit(10), 2);
    QCOMPARE(ledger.PagesToVisit(5), 1);
    QCOMPARE(ledger.LinkVerdict(2, address, u"/out/x.bin"_s),
             retried ? RunLedger::Verdict::New : RunLedger::Verdict::NotThisRun);
    QCOMPARE(ledger.LinkVerdict(5, address, u"/out/x.bin"_s), RunLedger::Verdict::New);
}

void TestLedger::aNameTakenMeanwhileIsNoSave_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QByteArray>("stands");
    QTest::newRow("overwrite off: the other run's file stays") << false << QByteArray("theirs");
    QTest::newRow("overwrite on: ours replaces it") << true << QByteArray("ours");
}

// Another run saved a file of the name between the overwrite test and the move; a run that
// carries this page on must not take the file at the path for the one this run saved.
void TestLedger::aNameTakenMeanwhileIsNoSave()
{
    QFETCH(bool, replace);
    QFETCH(QByteArray, stands);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString journalPath = dir.filePath(u"j"_s);
    const QString path = dir.filePath(u"f.bin"_s);
    const QString address = u"http://h/f.bin"_s;
    QString error;
    {
        const std::unique_ptr<Journal> journal = Journal::Open(journalPath, kIdentity, error);
        QVERIFY2(journal, qPrintable(error));
        const RunSettings settings;
        LongRunLedger ledger(settings, journal.get(), nullptr, {});
        LongRunFileStore files(journal.get(), ledger);
        QVERIFY(journal->PageStarted(0));
        const QString temporary = files.CreateTemporaryBeside(path, error);
        QVERIFY2(!temporary.isEmpty(), qPrintable(error));
        QCOMPARE(::write(files.TemporaryDescriptor(temporary), "ours", 4), 4);
        QVERIFY(journal->Saving(address, path, temporary));
        QFile theirs(path);
        QVERIFY(theirs.open(QIODevice::WriteOnly) && theirs.write("theirs") == 6);
        theirs.close();
        QCOMPARE(files.MoveOnto(temporary, path, replace, error),
                 replace ? FileStore::Moved::Done : FileStore::Moved::PathTaken);
        QVERIFY(!QFile::exists(temporary));
        QVERIFY(!ledger.Faulted());
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), stands);
    const std::unique_ptr<Journal> journal = Journal::Open(journalPath, kIdentity, error);
    QVERIFY2(journal, qPrintable(error));
    QCOMPARE(journal->SavedWhole(0, address, path), replace);
}

QTEST_GUILESS_MAIN(TestLedger)
#include "tst_ledger.moc"
