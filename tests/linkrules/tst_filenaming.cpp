#include "linkrules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Folders in the rows are written below "@", which stands for a fresh temporary folder.
class TestFileNaming : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void getFilename_data();
    void getFilename();
    void createsNestedFolders();
    void existingFolderWithOrWithoutSeparator();
    void fileInTheWay_data();
    void fileInTheWay();
    void neverLeavesTheFolder_data();
    void neverLeavesTheFolder();
    void longNameOverflows();

private:
    QString Expand(const QString &text) const { return QString(text).replace(u'@', m_dir->path()); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFileNaming::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(u"out"_s));
}

void TestFileNaming::cleanup()
{
    m_dir.reset();
}

void TestFileNaming::getFilename_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("result");

    QTest::newRow("last segment") << u"files/x.zip"_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/x.zip"_s;
    QTest::newRow("folder with separator") << u"x.zip"_s << u"@/out/"_s << 7.0 << u"zip"_s << u"@/out/x.zip"_s;
    QTest::newRow("scheme colon") << u"http://host/x.zip"_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/7.zip"_s;
    QTest::newRow("query mark") << u"show.asp?id=3"_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/7.zip"_s;
    QTest::newRow("invalid char in an earlier segment")
        << u"a:b/x.zip"_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/7.zip"_s;
    QTest::newRow("empty file name") << u"files/"_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/"_s;
    QTest::newRow("numbered name passed in") << u"7.zip"_s << u"@/lists"_s << 7.0 << u"zip"_s << u"@/lists/7.zip"_s;
    QTest::newRow("backslash stays in the name")
        << u"a\\b.zip"_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/a\\b.zip"_s;
    QTest::newRow("fractional number") << u"a*b"_s << u"@/out"_s << 2.5 << u"htm"_s << u"@/out/2.5.htm"_s;
    QTest::newRow("empty extension") << u"a*b"_s << u"@/out"_s << 7.0 << QString() << u"@/out/7."_s;
    QTest::newRow("dot dot") << u"files/.."_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/7.zip"_s;
    QTest::newRow("whole name dot dot") << u".."_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/7.zip"_s;
    QTest::newRow("dot") << u"a/."_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/7.zip"_s;
    QTest::newRow("three dots are a name") << u"..."_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/..."_s;
    QTest::newRow("line break") << u"x\n.zip"_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/7.zip"_s;
    QTest::newRow("nul") << QStringView(u"x\0y", 3).toString() << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/7.zip"_s;
    QTest::newRow("delete char") << u"x\u007fy"_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/7.zip"_s;
    QTest::newRow("control char in an earlier segment is dropped")
        << u"a\tb/x.zip"_s << u"@/out"_s << 7.0 << u"zip"_s << u"@/out/x.zip"_s;
    QTest::newRow("extension with a slash keeps its last segment")
        << u"a?b"_s << u"@/out"_s << 7.0 << u"a/b"_s << u"@/out/b"_s;
}

void TestFileNaming::getFilename()
{
    QFETCH(QString, name);
    QFETCH(QString, folder);
    QFETCH(double, number);
    QFETCH(QString, extension);
    QFETCH(QString, result);
    QCOMPARE(linkrules::GetFilename(name, Expand(folder), number, extension), Expand(result));
    QVERIFY(QFileInfo(Expand(folder)).isDir());
}

void TestFileNaming::createsNestedFolders()
{
    const QString folder = Expand(u"@/new/sub/deeper"_s);
    QCOMPARE(linkrules::GetFilename(u"x.zip"_s, folder, 1, u"zip"_s), folder + u"/x.zip"_s);
    QVERIFY(QFileInfo(folder).isDir());
    // A doubled separator inside the folder is harmless.
    const QString doubled = Expand(u"@/two//parts"_s);
    QCOMPARE(linkrules::GetFilename(u"x"_s, doubled, 1, u"zip"_s), doubled + u"/x"_s);
    QVERIFY(QFileInfo(Expand(u"@/two/parts"_s)).isDir());
}

void TestFileNaming::existingFolderWithOrWithoutSeparator()
{
    const QString plain = linkrules::GetFilename(u"d/x.zip"_s, Expand(u"@/out"_s), 1, u"z"_s);
    const QString trailing = linkrules::GetFilename(u"d/x.zip"_s, Expand(u"@/out/"_s), 1, u"z"_s);
    QCOMPARE(plain, trailing);
    // A missing folder with a trailing separator is created too.
    QCOMPARE(linkrules::GetFilename(u"x"_s, Expand(u"@/fresh/"_s), 1, u"z"_s), Expand(u"@/fresh/x"_s));
    QVERIFY(QFileInfo(Expand(u"@/fresh"_s)).isDir());
}

void TestFileNaming::fileInTheWay_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("file below the folder") << u"@/blocker/sub"_s;
    QTest::newRow("file with a trailing separator") << u"@/blocker/"_s;
}

void TestFileNaming::fileInTheWay()
{
    QFETCH(QString, folder);
    QFile blocker(Expand(u"@/blocker"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    try {
        linkrules::GetFilename(u"x.zip"_s, Expand(folder), 1, u"zip"_s);
        QFAIL("a folder was taken as made although a file is in the way");
    } catch (const linkrules::RuleError &error) {
        QVERIFY(error.code() != 0);
        QVERIFY2(error.description().contains(Expand(u"@/blocker"_s)),
                 qPrintable(error.description()));
    }
    QVERIFY(QFileInfo(Expand(u"@/blocker"_s)).isFile());
}

// Whatever the name and the extension, the path stays the folder itself or a direct child.
void TestFileNaming::neverLeavesTheFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("extension climbs up") << u"a?b"_s << u"x/.."_s << u"7"_s;
    QTest::newRow("extension is a dot segment") << u"a?b"_s << u"x/."_s << u"7"_s;
    QTest::newRow("extension ends in a slash") << u"a?b"_s << u"x/"_s << u"7"_s;
    QTest::newRow("extension holds a control char") << u"a?b"_s << u"z\ri"_s << u"7"_s;
    QTest::newRow("dot dot with a climbing extension") << u".."_s << u"../.."_s << u"7"_s;
    QTest::newRow("absolute-looking extension") << u"a:b"_s << u"/etc/passwd"_s << u"passwd"_s;
}

void TestFileNaming::neverLeavesTheFolder()
{
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QFETCH(QString, fileName);
    const QString folder = Expand(u"@/out"_s);
    const QString path = linkrules::GetFilename(name, folder, 7, extension);
    QCOMPARE(path, folder + u'/' + fileName);
    QCOMPARE(QFileInfo(path).absoluteDir().canonicalPath(), QDir(folder).canonicalPath());
}

void TestFileNaming::longNameOverflows()
{
    try {
        linkrules::GetFilename(QString(32768, u'a'), Expand(u"@/out"_s), 1, u"z"_s);
        QFAIL("an over-long name was accepted");
    } catch (const linkrules::RuleError &error) {
        QCOMPARE(error.code(), 6);
    }
}

QTEST_GUILESS_MAIN(TestFileNaming)
#include "tst_filenaming.moc"
