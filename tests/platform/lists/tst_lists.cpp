#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "dirlistbox.h"
#include "drivelistbox.h"
#include "filelistbox.h"
#include "folderaccess.h"

using namespace Qt::StringLiterals;

class TestLists : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_tree = QDir::cleanPath(m_dir.path() + u"/tree"_s);
        for (const QString &folder :
             {u"tree/zeta"_s, u"tree/alpha/inner"_s, u"tree/Beta"_s, u"tree/.hidden"_s})
            QVERIFY(QDir(m_dir.path()).mkpath(folder));
        for (const QString &file :
             {u"b.txt"_s, u"a.txt"_s, u"c.md"_s, u"README"_s, u"notes.txt.bak"_s, u".secret"_s}) {
            QFile f(m_tree + u'/' + file);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        m_startDir = QDir::currentPath();
    }

    void cleanup()
    {
        // No list may ever move the process's current directory.
        QCOMPARE(QDir::currentPath(), m_startDir);
    }

    void patterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("star dot star lists every file")
            << u"*.*"_s
            << QStringList{u"README"_s, u"a.txt"_s, u"b.txt"_s, u"c.md"_s, u"notes.txt.bak"_s};
        QTest::newRow("star") << u"*"_s
                              << QStringList{u"README"_s, u"a.txt"_s, u"b.txt"_s, u"c.md"_s,
                                             u"notes.txt.bak"_s};
        QTest::newRow("one extension") << u"*.txt"_s << QStringList{u"a.txt"_s, u"b.txt"_s};
        QTest::newRow("two patterns")
            << u"*.md;*.txt"_s << QStringList{u"a.txt"_s, u"b.txt"_s, u"c.md"_s};
        QTest::newRow("blanks and empty parts") << u" *.md ;;"_s << QStringList{u"c.md"_s};
        QTest::newRow("question mark") << u"?.txt"_s << QStringList{u"a.txt"_s, u"b.txt"_s};
        QTest::newRow("case-sensitive") << u"*.TXT"_s << QStringList{};
        QTest::newRow("no match") << u"*.zzz"_s << QStringList{};
        QTest::newRow("exact name") << u"README"_s << QStringList{u"README"_s};
    }

    void patterns()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, expected);
        QCOMPARE(lists::MatchingFiles(m_tree, pattern).value_or(QStringList{u"<unreadable>"_s}),
                 expected);

        FileListBox files;
        QVERIFY(files.SetPath(m_tree));
        files.SetPattern(pattern);
        QStringList shown;
        for (int i = 0; i < files.ListCount(); ++i)
            shown << files.List(i);
        QCOMPARE(shown, expected);
        QCOMPARE(files.ListIndex(), -1);
    }

    void dirListIndexes()
    {
        DirListBox dirs;
        QSignalSpy changes(&dirs, &DirListBox::Change);
        QVERIFY(dirs.SetPath(m_tree + u"/alpha/../"_s));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(dirs.Path(), m_tree);
        QCOMPARE(dirs.ListIndex(), -1);
        QCOMPARE(dirs.List(-1), m_tree);
        QCOMPARE(dirs.List(-2), QFileInfo(m_tree).path());
        const int depth = int(m_tree.count(u'/'));
        QCOMPARE(dirs.List(-(depth + 1)), u"/"_s); // the root keeps its separator
        QCOMPARE(dirs.List(-(depth + 2)), QString());
        // Subfolders by name, hidden ones left out.
        QCOMPARE(dirs.ListCount(), 3);
        QCOMPARE(dirs.List(0), m_tree + u"/Beta"_s);
        QCOMPARE(dirs.List(1), m_tree + u"/alpha"_s);
        QCOMPARE(dirs.List(2), m_tree + u"/zeta"_s);
        QCOMPARE(dirs.List(3), QString());

        dirs.SetListIndex(1);
        QCOMPARE(dirs.ListIndex(), 1);
        QCOMPARE(dirs.Path(), m_tree); // highlighting opens nothing
        QVERIFY(dirs.OpenIndex(1));
        QCOMPARE(changes.count(), 2);
        QCOMPARE(dirs.Path(), m_tree + u"/alpha"_s);
        QCOMPARE(dirs.ListIndex(), -1);
        QCOMPARE(dirs.ListCount(), 1);
        QCOMPARE(dirs.List(0), m_tree + u"/alpha/inner"_s);
    }

    void dirListRoot()
    {
        DirListBox dirs;
        QVERIFY(dirs.SetPath(u"/"_s));
        QCOMPARE(dirs.Path(), u"/"_s);
        QCOMPARE(dirs.List(-1), u"/"_s);
        QCOMPARE(dirs.List(-2), QString());
        QVERIFY(dirs.ListCount() > 0);
        QVERIFY(dirs.List(0).startsWith(u'/'));
        QVERIFY(!dirs.List(0).startsWith(u"//"_s));
    }

    void refusedFolderKeepsList_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("missing folder") << u"tree/nowhere"_s;
        QTest::newRow("a file") << u"tree/a.txt"_s;
    }

    void refusedFolderKeepsList()
    {
        QFETCH(QString, target);
        const QString path = m_dir.filePath(target);

        DirListBox dirs;
        QVERIFY(dirs.SetPath(m_tree));
        QSignalSpy changes(&dirs, &DirListBox::Change);
        QVERIFY(!dirs.SetPath(path));
        QCOMPARE(changes.count(), 0);
        QCOMPARE(dirs.Path(), m_tree);
        QCOMPARE(dirs.ListCount(), 3);

        FileListBox files;
        QVERIFY(files.SetPath(m_tree));
        QVERIFY(!files.SetPath(path));
        QCOMPARE(files.Path(), m_tree);
        QCOMPARE(files.ListCount(), 5);
    }

    void fileSelection()
    {
        FileListBox files;
        QCOMPARE(files.selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY(files.SetPath(m_tree));
        files.SetSelected(1, true);
        files.SetSelected(3, true);
        QVERIFY(!files.Selected(0));
        QVERIFY(files.Selected(1));
        QVERIFY(files.Selected(3));
        QVERIFY(!files.Selected(99));
        // Opening another folder starts a fresh list with nothing selected.
        QVERIFY(files.SetPath(m_tree + u"/alpha"_s));
        QCOMPARE(files.ListCount(), 0);
        QCOMPARE(files.ListIndex(), -1);
    }

    void listsStartOnCurrentDirectory()
    {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_tree + u"/zeta"_s)); // only the test moves it
        DirListBox dirs;
        FileListBox files;
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(dirs.Path(), m_tree + u"/zeta"_s);
        QCOMPARE(files.Path(), m_tree + u"/zeta"_s);
    }

    void driveOf_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain folder") << u"/home/user"_s << u"/"_s;
        QTest::newRow("on a volume") << u"/media/usb/photos"_s << u"/media/usb"_s;
        QTest::newRow("the volume itself") << u"/media/usb"_s << u"/media/usb"_s;
        QTest::newRow("name sharing a prefix") << u"/media/usb2/x"_s << u"/media"_s;
        QTest::newRow("nested volume wins") << u"/media/usb/inner/x"_s << u"/media/usb/inner"_s;
    }

    void driveOf()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        const QStringList drives{u"/"_s, u"/media"_s, u"/media/usb"_s, u"/media/usb/inner"_s};
        QCOMPARE(DriveListBox::DriveOf(path, drives), expected);
    }

    void driveList()
    {
        const QStringList drives = DriveListBox::Drives();
        QVERIFY(!drives.isEmpty());
        QCOMPARE(drives.first(), u"/"_s);
        for (const QString &drive : drives)
            QVERIFY2(QFileInfo(drive).isDir(), qPrintable(drive));

        DriveListBox box;
        QCOMPARE(box.Drive(), DriveListBox::DriveOf(QDir::currentPath(), drives));
        QVERIFY(!box.SetDrive(u"/no/such/drive"_s));
        QCOMPARE(box.Drive(), DriveListBox::DriveOf(QDir::currentPath(), drives));
    }

private:
    QTemporaryDir m_dir;
    QString m_tree;
    QString m_startDir;
};

QTEST_MAIN(TestLists)
#include "tst_lists.moc"
