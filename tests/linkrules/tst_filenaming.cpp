#include "linkrules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Folders in the rows are written below "@", a fresh temporary folder holding "out".
class TestFileNaming : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void getFilename_data();
    void getFilename();
    void createsNestedFolders();
    void fileInTheWay_data();
    void fileInTheWay();
    void longNameOverflows();

private:
    QString At(QString text) const { return text.replace(u'@', m_dir->path()); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFileNaming::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid() && QDir(m_dir->path()).mkpath(u"out"_s));
}

void TestFileNaming::getFilename_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("result");
    const auto row = [](const char *tag, const QString &name, const QString &folder,
                        const QString &result, const QString &ext = u"zip"_s, double n = 7) {
        QTest::newRow(tag) << name << folder << n << ext << result;
    };
    row("last segment", u"files/x.zip"_s, u"@/out"_s, u"@/out/x.zip"_s);
    row("folder with separator", u"x.zip"_s, u"@/out/"_s, u"@/out/x.zip"_s);
    row("scheme colon", u"http://host/x.zip"_s, u"@/out"_s, u"@/out/7.zip"_s);
    row("query mark", u"show.asp?id=3"_s, u"@/out"_s, u"@/out/7.zip"_s);
    row("invalid char in an earlier segment", u"a:b/x.zip"_s, u"@/out"_s, u"@/out/7.zip"_s);
    row("empty file name", u"files/"_s, u"@/out"_s, u"@/out/"_s);
    row("numbered name, new folder", u"7.zip"_s, u"@/lists"_s, u"@/lists/7.zip"_s);
    row("backslash stays", u"a\\b.zip"_s, u"@/out"_s, u"@/out/a\\b.zip"_s);
    row("fractional number", u"a*b"_s, u"@/out"_s, u"@/out/2.5.htm"_s, u"htm"_s, 2.5);
    row("empty extension", u"a*b"_s, u"@/out"_s, u"@/out/7."_s, QString());
    row("missing folder with separator", u"x"_s, u"@/fresh/"_s, u"@/fresh/x"_s);
    // Nothing may be written outside the folder: unsafe last segments take the numbered name.
    row("dot dot", u"files/.."_s, u"@/out"_s, u"@/out/7.zip"_s);
    row("dot", u"a/."_s, u"@/out"_s, u"@/out/7.zip"_s);
    row("three dots are a name", u"..."_s, u"@/out"_s, u"@/out/..."_s);
    row("line break", u"x\n.zip"_s, u"@/out"_s, u"@/out/7.zip"_s);
    row("nul", QStringView(u"x\0y", 3).toString(), u"@/out"_s, u"@/out/7.zip"_s);
    row("delete char", u"x\u007fy"_s, u"@/out"_s, u"@/out/7.zip"_s);
    row("control char in a dropped segment", u"a\tb/x.zip"_s, u"@/out"_s, u"@/out/x.zip"_s);
    // ... and so does an unsafe numbered name, down to the number alone.
    row("extension keeps its last segment", u"a?b"_s, u"@/out"_s, u"@/out/b"_s, u"a/b"_s);
    row("extension climbs up", u"a?b"_s, u"@/out"_s, u"@/out/7"_s, u"x/.."_s);
    row("extension ends in a slash", u"a?b"_s, u"@/out"_s, u"@/out/7"_s, u"x/"_s);
    row("extension with a control char", u".."_s, u"@/out"_s, u"@/out/7"_s, u"z\ri"_s);
}

void TestFileNaming::getFilename()
{
    QFETCH(QString, name);
    QFETCH(QString, folder);
    QFETCH(double, number);
    QFETCH(QString, extension);
    QFETCH(QString, result);
    const QString path = linkrules::GetFilename(name, At(folder), number, extension);
    QCOMPARE(path, At(result));
    QVERIFY(QFileInfo(At(folder)).isDir());
    if (!path.endsWith(u'/'))
        QCOMPARE(QFileInfo(path).absoluteDir().canonicalPath(), QDir(At(folder)).canonicalPath());
}

void TestFileNaming::createsNestedFolders()
{
    const QString folder = At(u"@/new/sub/deeper"_s);
    QCOMPARE(linkrules::GetFilename(u"x.zip"_s, folder, 1, u"zip"_s), folder + u"/x.zip"_s);
    QVERIFY(QFileInfo(folder).isDir());
    const QString doubled = At(u"@/two//parts"_s);
    QCOMPARE(linkrules::GetFilename(u"x"_s, doubled, 1, u"zip"_s), doubled + u"/x"_s);
    QVERIFY(QFileInfo(At(u"@/two/parts"_s)).isDir());
}

void TestFileNaming::fileInTheWay_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("below a file") << u"@/blocker/sub"_s;
    QTest::newRow("a file with a trailing separator") << u"@/blocker/"_s;
}

void TestFileNaming::fileInTheWay()
{
    QFETCH(QString, folder);
    QFile blocker(At(u"@/blocker"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    try {
        linkrules::GetFilename(u"x.zip"_s, At(folder), 1, u"zip"_s);
        QFAIL("a folder was taken as made although a file is in the way");
    } catch (const linkrules::RuleError &error) {
        QVERIFY2(error.Description().contains(At(u"@/blocker"_s)), qPrintable(error.Description()));
    }
    QVERIFY(QFileInfo(At(u"@/blocker"_s)).isFile());
}

void TestFileNaming::longNameOverflows()
{
    try {
        linkrules::GetFilename(QString(32768, u'a'), At(u"@/out"_s), 1, u"z"_s);
        QFAIL("an over-long name was accepted");
    } catch (const linkrules::RuleError &error) {
        QCOMPARE(error.Code(), 6);
    }
}

QTEST_GUILESS_MAIN(TestFileNaming)
#include "tst_filenaming.moc"
