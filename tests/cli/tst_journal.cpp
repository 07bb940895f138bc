// The journal read back after a cut: which files of the page cut short stand whole, and so are
// not fetched again.
#include "journal.h"
#include "ledger.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestJournal final : public QObject
{
    Q_OBJECT

private slots:
    void savedWhole_data();
    void savedWhole();
};

void TestJournal::savedWhole_data()
{
    QTest::addColumn<bool>("moved");    // the temporary went onto the path before the cut
    QTest::addColumn<bool>("laterRun"); // a run carried on and was cut in turn before the link
    QTest::addColumn<bool>("whole");

    QTest::newRow("moved, not yet noted") << true << false << true;
    QTest::newRow("cut before the move") << false << false << false;
    QTest::newRow("moved, a later run cut before the link") << true << true << true;
    // The later run removed the temporary as left over: its absence is no move, and the
    // path still holds the file the download was to overwrite.
    QTest::newRow("cut before the move, a later run cut before the link") << false << true << false;
}

void TestJournal::savedWhole()
{
    QFETCH(bool, moved);
    QFETCH(bool, laterRun);
    QFETCH(bool, whole);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    RunSettings settings;
    settings.job.saveLinksFolder = dir.path();
    const Journal::Identity identity{QJsonObject{{u"txtAddress"_s, u"http://host/^N.htm"_s}}};
    const QString journalPath = dir.filePath(u"journal"_s);
    const QString path = dir.filePath(u"f.bin"_s);
    const QString temporary = dir.filePath(u".lh-0123456789abcdef.part"_s);
    const QString address = u"http://host/f.bin"_s;
    QVERIFY(WriteFile(path, "older"));
    QString error;
    {
        const std::unique_ptr<Journal> journal = Journal::Open(journalPath, identity, error);
        QVERIFY2(journal, qPrintable(error));
        QVERIFY(journal->PageStarted(0) && journal->TemporaryMade(temporary));
        QVERIFY(WriteFile(temporary, "newer"));
        QVERIFY(journal->Saving(address, path, temporary));
        if (moved)
            QVERIFY(QFile::remove(path) && QFile::rename(temporary, path));
    }
    if (laterRun) {
        const std::unique_ptr<Journal> journal = Journal::Open(journalPath, identity, error);
        QVERIFY2(journal, qPrintable(error));
        QCOMPARE(journal->SavedWhole(0, address, path), whole);
        QVERIFY(RemoveStaleTemporaries(settings, journal.get()));
        QVERIFY(!QFile::exists(temporary));
    }
    const std::unique_ptr<Journal> journal = Journal::Open(journalPath, identity, error);
    QVERIFY2(journal, qPrintable(error));
    QCOMPARE(journal->SavedWhole(0, address, path), whole);
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
