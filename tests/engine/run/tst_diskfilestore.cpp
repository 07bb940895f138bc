#include "diskfilestore.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The temporary files of downloads: a run cut short leaves them behind, and the next run
// removes exactly those of this program, by their names.
class TestDiskFileStore : public QObject
{
    Q_OBJECT

private slots:
    void temporaryName_data();
    void temporaryName();
    void madeTemporariesAreKnownAsSuch();
    void plantedLinksAreNotFollowed();
    void savedFilesKeepTheUsualPermissions_data();
    void savedFilesKeepTheUsualPermissions();
};

void TestDiskFileStore::temporaryName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("temporary");
    QTest::newRow("this program's") << u".lh-0123456789abcdef.part"_s << true;
    QTest::newRow("one digit short") << u".lh-0123456789abcde.part"_s << false;
    QTest::newRow("one digit more") << u".lh-0123456789abcdef0.part"_s << false;
    QTest::newRow("capital digits") << u".lh-0123456789ABCDEF.part"_s << false;
    QTest::newRow("not hidden") << u"lh-0123456789abcdef.part"_s << false;
    QTest::newRow("another ending") << u".lh-0123456789abcdef.part.zip"_s << false;
    QTest::newRow("a user's file") << u"a.zip"_s << false;
}

void TestDiskFileStore::temporaryName()
{
    QFETCH(QString, name);
    QFETCH(bool, temporary);
    QCOMPARE(DiskFileStore::IsTemporaryName(name), temporary);
}

void TestDiskFileStore::madeTemporariesAreKnownAsSuch()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    DiskFileStore files;
    QString error;
    for (int i = 0; i < 20; ++i) {
        const QString made = files.CreateTemporaryBeside(dir.filePath(u"x.zip"_s), error);
        QVERIFY2(!made.isEmpty(), qPrintable(error));
        QCOMPARE(QFileInfo(made).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
        QVERIFY2(DiskFileStore::IsTemporaryName(QFileInfo(made).fileName()), qPrintable(made));
        QVERIFY(DiskFileStore::IsTemporaryName(
            QFileInfo(DiskFileStore::NewTemporaryName(dir.path())).fileName()));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 20);
}

// Someone who may write to the folder puts links where a page's address file goes and, while
// the download is held, in place of its temporary; without standard input, as from a script,
// the temporary's descriptor is 0.
void TestDiskFileStore::plantedLinksAreNotFollowed()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile outside(dir.filePath(u"outside"_s));
    QVERIFY(outside.open(QIODevice::WriteOnly) && outside.write("untouched") == 9);
    outside.close();
    QVERIFY(QFile::link(outside.fileName(), dir.filePath(u"3.txt"_s)));
    DiskFileStore files;
    QString error;
    QVERIFY(!files.AppendRecord(dir.filePath(u"3.txt"_s), u"http://h/x.zip"_s, error));
    QVERIFY(error.contains(u"3.txt"_s));

    const int input = ::dup(STDIN_FILENO);
    ::close(STDIN_FILENO);
    const QString temporary = files.CreateTemporaryBeside(dir.filePath(u"x.zip"_s), error);
    ::dup2(input, STDIN_FILENO);
    ::close(input);
    QVERIFY2(!temporary.isEmpty(), qPrintable(error));
    QVERIFY(QFile::remove(temporary) && QFile::link(outside.fileName(), temporary));
    QCOMPARE(files.MoveOnto(temporary, dir.filePath(u"x.zip"_s), true, error),
             FileStore::Moved::Failed);
    QVERIFY(!QFileInfo(dir.filePath(u"x.zip"_s)).isSymLink());
    QVERIFY(!QFileInfo(temporary).isSymLink());
    QVERIFY(outside.open(QIODevice::ReadOnly));
    QCOMPARE(outside.readAll(), "untouched");
}

void TestDiskFileStore::savedFilesKeepTheUsualPermissions_data()
{
    QTest::addColumn<int>("before"); // the mode of the file the download replaces; -1: none
    QTest::addColumn<int>("after");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    QTest::newRow("a new file: as the umask has it") << -1 << int(0666 & ~mask);
    QTest::newRow("an overwritten file: its own") << 0640 << 0640;
    QTest::newRow("an overwritten set-user-ID file: its own, not that") << 06755 << 0755;
}

void TestDiskFileStore::savedFilesKeepTheUsualPermissions()
{
    QFETCH(int, before);
    QFETCH(int, after);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"x.zip"_s);
    if (before >= 0) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        QVERIFY(::fchmod(old.handle(), mode_t(before)) == 0);
    }
    DiskFileStore files;
    QString error;
    const QString temporary = files.CreateTemporaryBeside(path, error);
    QVERIFY2(!temporary.isEmpty(), qPrintable(error));
    QCOMPARE(files.MoveOnto(temporary, path, before >= 0, error), FileStore::Moved::Done);
    struct stat status = {};
    QVERIFY(::stat(QFile::encodeName(path).constData(), &status) == 0);
    QCOMPARE(int(status.st_mode & 07777), after);
}

QTEST_GUILESS_MAIN(TestDiskFileStore)
#include "tst_diskfilestore.moc"
