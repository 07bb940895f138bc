#include "diskfilestore.h"
#include "runfakes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A page at http://h/d/p3.htm whose markup links to each of `links` in order.
void ServeLinks(RunRig &rig, const QStringList &links)
{
    QString markup;
    for (const QString &link : links)
        markup += u"<a href=\""_s + link + u"\">.</a>"_s;
    rig.browser.pages[u"http://h/d/p3.htm"_s] = FakePage{LoadResult::Succeeded, {}, markup};
    rig.job.f.startNum = u"3"_s;
    rig.job.f.stopNum = u"3"_s;
}

int CompleteLines(const QStringList &messages)
{
    return static_cast<int>(
        std::count_if(messages.begin(), messages.end(),
                      [](const QString &m) { return m.startsWith(u"Download complete: "_s); }));
}

} // namespace

// What happens to each kept link: overwrite rule, download, the two link-address modes,
// failures through the prompt, and the atomic file writes beneath.
class TestLinkOutput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void twoByteRule_data();
    void twoByteRule();
    void overwriteRule_data();
    void overwriteRule();
    void allInOneAppendsAcrossRuns();
    void allInOneMissingFolderPrompts();
    void onePerFile_data();
    void onePerFile();
    void downloadFailure_data();
    void downloadFailure();
    void fileFailureSkipsOnlyTheWrite();
    void countMatchesCompleteLines();
    void noLinkFolderWhenNotSaving();
    void diskStoreReplacesWhole();
    void diskStoreFailureLeavesNothing();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_links;
    QString m_hrefs;
};

void TestLinkOutput::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_links = m_dir->filePath(u"links"_s);
    m_hrefs = m_dir->filePath(u"hrefs"_s);
}

void TestLinkOutput::twoByteRule_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("kept");
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("one byte") << QByteArray("a") << false;
    QTest::newRow("two bytes") << QByteArray("ab") << false;
    QTest::newRow("three bytes") << QByteArray("abc") << true;
}

void TestLinkOutput::twoByteRule()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, kept);

    RunRig rig;
    ServeLinks(rig, {u"x.zip"_s});
    rig.job.f.saveLinks = 1;
    rig.job.f.saveLinksFolder = m_links;
    rig.job.f.saveHREFs = 1;
    rig.job.f.saveHREFsFolder = m_hrefs;
    QVERIFY(QDir().mkpath(m_hrefs));
    rig.transfer.results[u"http://h/d/x.zip"_s] = Transfer::Result{true, content, 0, {}};

    rig.run->Go();

    const QString path = m_links + u"/x.zip"_s;
    QCOMPARE(QFile::exists(path), kept);
    QCOMPARE(QFile::exists(m_hrefs + u"/3.txt"_s), kept); // no content, no address either
    QCOMPARE(rig.run->ItemsDownloaded(), kept ? 1 : 0);
    QCOMPARE(rig.view.statusTexts.last(), u"Downloading: x.zip"_s);
    const QStringList messages = rig.view.messages();
    QCOMPARE(CompleteLines(messages), kept ? 1 : 0);
    if (kept) {
        QCOMPARE(ReadAll(path), content);
        QVERIFY(messages.contains(u"Download complete: "_s + path + u'.'));
    }
    QVERIFY(rig.prompt.texts.isEmpty());
}

void TestLinkOutput::overwriteRule_data()
{
    QTest::addColumn<int>("overwrite");
    QTest::newRow("overwrite off") << 0;
    QTest::newRow("overwrite on") << 1;
}

void TestLinkOutput::overwriteRule()
{
    QFETCH(int, overwrite);

    RunRig rig;
    ServeLinks(rig, {u"x.zip"_s});
    rig.job.f.overwrite = overwrite;
    rig.job.f.saveLinks = 1;
    rig.job.f.saveLinksFolder = m_links;
    rig.job.f.saveHREFs = 1;
    rig.job.f.saveHREFsFolder = m_hrefs;
    QVERIFY(QDir().mkpath(m_links));
    QVERIFY(QDir().mkpath(m_hrefs));
    const QString path = m_links + u"/x.zip"_s;
    WriteFile(path, "an earlier, longer file");

    rig.run->Go();

    const QStringList messages = rig.view.messages();
    if (overwrite) {
        QCOMPARE(ReadAll(path), QByteArray("0123456789")); // nothing of the old file is left
        QCOMPARE(rig.run->ItemsDownloaded(), 1);
        QVERIFY(messages.contains(u"Download complete: "_s + path + u'.'));
    } else {
        QCOMPARE(ReadAll(path), QByteArray("an earlier, longer file"));
        QVERIFY(rig.transfer.requested.isEmpty());
        QVERIFY(!QFile::exists(m_hrefs + u"/3.txt"_s));
        QCOMPARE(rig.run->ItemsDownloaded(), 0);
        QVERIFY(messages.contains(u"File already exists: "_s + path + u'.'));
    }
}

void TestLinkOutput::allInOneAppendsAcrossRuns()
{
    RunRig rig;
    ServeLinks(rig, {u"x.zip"_s, u"/d/sub/y.zip"_s, u"http://o/é.zip"_s});
    rig.job.f.saveHREFs = 1;
    rig.job.f.saveHREFsFolder = m_hrefs + u'/'; // a trailing separator changes nothing
    rig.job.f.saveLinksFolder = m_links;
    QVERIFY(QDir().mkpath(m_hrefs));

    rig.run->Go();
    rig.run->Go();

    const QByteArray records = "\"http://h/d/x.zip\"\r\n\"http://h/d/sub/y.zip\"\r\n"
                               "\"http://o/\xc3\xa9.zip\"\r\n";
    QCOMPARE(ReadAll(m_hrefs + u"/3.txt"_s), records + records);
    QVERIFY(rig.transfer.requested.isEmpty()); // links themselves are not saved
    QCOMPARE(rig.run->ItemsDownloaded(), 3);
    // The log names the would-be download path; the address renames to the page number.
    QCOMPARE(rig.view.messages().mid(3),
             (QStringList{u"Download complete: "_s + m_links + u"/x.zip."_s,
                          u"Download complete: "_s + m_links + u"/y.zip."_s,
                          u"Download complete: "_s + m_links + u"/3.txt."_s,
                          u"Done.  Items downloaded: 3."_s}));
}

void TestLinkOutput::allInOneMissingFolderPrompts()
{
    RunRig rig;
    ServeLinks(rig, {u"x.zip"_s});
    rig.job.f.saveHREFs = 1;
    rig.job.f.saveHREFsFolder = m_hrefs; // not made in this mode
    rig.job.f.saveLinksFolder = m_links;
    rig.prompt.answers = {false};

    rig.run->Go();

    QCOMPARE(rig.prompt.texts.size(), 1);
    QVERIFY(rig.prompt.texts[0].startsWith(u"An error has occurred.\r\n\r\nError: 75\r\nDescription: "_s));
    QVERIFY(!QFileInfo::exists(m_hrefs));
    QVERIFY(rig.view.idle());
    QCOMPARE(CompleteLines(rig.view.messages()), 0);
    QVERIFY(!rig.view.messages().last().startsWith(u"Done."_s));
}

void TestLinkOutput::onePerFile_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("answer");     // at a prompt, if one comes
    QTest::addColumn<QString>("prompt");  // empty: none expected
    QTest::addColumn<QByteArray>("file"); // the link-address file afterwards; empty: none
    QTest::addColumn<int>("counted");

    QTest::newRow("first query value")
        << u"show.asp?id=42&page=2"_s << true << QString() << QByteArray("\"42\"\r\n") << 1;
    QTest::newRow("empty value") << u"show.asp?id="_s << true << QString() << QByteArray() << 0;
    const QString noEquals = ErrorText(
        9, u"Subscript out of range: the address has no \"=\": http://h/d/plain.htm"_s);
    QTest::newRow("no equals, Yes writes the address")
        << u"plain.htm"_s << true << noEquals << QByteArray("\"http://h/d/plain.htm\"\r\n") << 1;
    QTest::newRow("no equals, No ends") << u"plain.htm"_s << false << noEquals << QByteArray() << 0;
}

void TestLinkOutput::onePerFile()
{
    QFETCH(QString, link);
    QFETCH(bool, answer);
    QFETCH(QString, prompt);
    QFETCH(QByteArray, file);
    QFETCH(int, counted);

    RunRig rig;
    ServeLinks(rig, {u"old.asp?id=7"_s, link});
    rig.job.f.saveHREFs = 1;
    rig.job.f.oneHREFPerFile = true;
    rig.job.f.saveHREFsFolder = m_hrefs + u"/new/sub"_s; // made on the way
    rig.job.f.saveLinksFolder = m_links;
    rig.prompt.answers = {answer};

    rig.run->Go();

    QCOMPARE(rig.prompt.texts, prompt.isEmpty() ? QStringList() : QStringList{prompt});
    const QString path = m_hrefs + u"/new/sub/3.txt"_s;
    // Every counted link rewrites the page's file; the first link's value is replaced.
    QCOMPARE(ReadAll(path), file.isEmpty() ? QByteArray("\"7\"\r\n") : file);
    QCOMPARE(rig.run->ItemsDownloaded(), 1 + counted);
    const QStringList messages = rig.view.messages();
    QCOMPARE(CompleteLines(messages), 1 + counted);
    QCOMPARE(messages.contains(u"Download complete: "_s + path + u'.'), true);
    QCOMPARE(messages.last().startsWith(u"Done."_s), answer);
}

void TestLinkOutput::downloadFailure_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("Yes skips the link") << true;
    QTest::newRow("No ends the run") << false;
}

void TestLinkOutput::downloadFailure()
{
    QFETCH(bool, answer);

    RunRig rig;
    ServeLinks(rig, {u"bad.zip"_s, u"good.zip"_s});
    rig.job.f.saveLinks = 1;
    rig.job.f.saveLinksFolder = m_links;
    rig.job.f.saveHREFs = 1;
    rig.job.f.saveHREFsFolder = m_hrefs;
    QVERIFY(QDir().mkpath(m_hrefs));
    rig.transfer.results[u"http://h/d/bad.zip"_s] =
        Transfer::Result{false, {}, 404, u"HTTP status 404: Not Found"_s};
    rig.prompt.answers = {answer};

    rig.run->Go();

    QCOMPARE(rig.prompt.texts, QStringList{ErrorText(404, u"HTTP status 404: Not Found"_s)});
    QVERIFY(!QFile::exists(m_links + u"/bad.zip"_s));
    QVERIFY(rig.view.idle());
    if (answer) {
        QCOMPARE(ReadAll(m_links + u"/good.zip"_s), QByteArray("0123456789"));
        QCOMPARE(ReadAll(m_hrefs + u"/3.txt"_s), QByteArray("\"http://h/d/good.zip\"\r\n"));
        QCOMPARE(rig.view.messages().last(), u"Done.  Items downloaded: 1."_s);
    } else {
        QCOMPARE(rig.transfer.requested.size(), 1);
        QVERIFY(!QFile::exists(m_hrefs + u"/3.txt"_s));
        QCOMPARE(rig.view.messages().last(), u"Filters have been applied: 2 relevant links."_s);
    }
}

void TestLinkOutput::fileFailureSkipsOnlyTheWrite()
{
    FakeFileStore store;
    RunRig rig(&store);
    ServeLinks(rig, {u"x.zip"_s});
    rig.job.f.saveLinks = 1;
    rig.job.f.saveLinksFolder = m_links;
    rig.job.f.saveHREFs = 1;
    rig.job.f.saveHREFsFolder = m_hrefs;
    const QString path = m_links + u"/x.zip"_s;
    store.failing.insert(path);

    rig.run->Go();

    QCOMPARE(rig.prompt.texts, QStringList{ErrorText(75, u"Disk full: "_s + path)});
    QVERIFY(!store.files.contains(path));
    QCOMPARE(store.files.value(m_hrefs + u"/3.txt"_s), QByteArray("\"http://h/d/x.zip\"\r\n"));
    QCOMPARE(rig.view.messages().last(), u"Done.  Items downloaded: 1."_s);
}

void TestLinkOutput::countMatchesCompleteLines()
{
    RunRig rig;
    ServeLinks(rig, {u"a.zip"_s, u"tiny.zip"_s, u"a.zip"_s, u"b.zip"_s, u"c.gif"_s});
    rig.job.f.end = QStringList{u".zip"_s};
    rig.job.f.saveLinks = 1;
    rig.job.f.saveLinksFolder = m_links;
    rig.transfer.results[u"http://h/d/tiny.zip"_s] = Transfer::Result{true, "ok", 0, {}};

    rig.run->Go();

    const QStringList messages = rig.view.messages();
    QCOMPARE(messages.value(1), u"Source code has been parsed: 5 total links."_s);
    QCOMPARE(messages.value(2), u"Filters have been applied: 4 relevant links."_s);
    QVERIFY(messages.contains(u"File already exists: "_s + m_links + u"/a.zip."_s));
    QCOMPARE(CompleteLines(messages), 2);
    QCOMPARE(rig.run->ItemsDownloaded(), 2);
    QCOMPARE(messages.last(), u"Done.  Items downloaded: 2."_s);
}

// Only the link addresses are wanted and no link folder was given: nothing to make or
// test there, and no prompt for every link.
void TestLinkOutput::noLinkFolderWhenNotSaving()
{
    RunRig rig;
    ServeLinks(rig, {u"files/x.zip"_s});
    rig.job.f.saveHREFs = 1;
    rig.job.f.saveHREFsFolder = m_hrefs;
    QVERIFY(QDir().mkpath(m_hrefs));

    rig.run->Go();

    QVERIFY(rig.prompt.texts.isEmpty());
    QVERIFY(rig.view.messages().contains(u"Download complete: x.zip."_s));
    QCOMPARE(ReadAll(m_hrefs + u"/3.txt"_s), QByteArray("\"http://h/d/files/x.zip\"\r\n"));
}

void TestLinkOutput::diskStoreReplacesWhole()
{
    DiskFileStore store;
    const QString path = m_dir->filePath(u"f.bin"_s);
    WriteFile(path, "a much longer earlier content");
    QString error;

    QVERIFY(store.FileExists(path));
    QVERIFY(!store.FileExists(m_dir->path())); // a folder is not a file
    QVERIFY(store.WriteWhole(path, "new", error));
    QCOMPARE(ReadAll(path), QByteArray("new"));
    QVERIFY(store.WriteRecord(path, u"é \"q\""_s, error));
    QCOMPARE(ReadAll(path), QByteArray("\"\xc3\xa9 \"q\"\"\r\n"));
    QVERIFY(store.AppendRecord(path, u"2"_s, error));
    QCOMPARE(ReadAll(path), QByteArray("\"\xc3\xa9 \"q\"\"\r\n\"2\"\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"f.bin"_s});
}

void TestLinkOutput::diskStoreFailureLeavesNothing()
{
    DiskFileStore store;
    const QString folder = m_dir->filePath(u"in-the-way"_s);
    QVERIFY(QDir().mkpath(folder));
    QString error;

    QVERIFY(!store.WriteWhole(folder, "content", error));
    QVERIFY(error.contains(folder));
    QVERIFY(!store.WriteWhole(m_dir->filePath(u"missing/f.bin"_s), "content", error));
    QVERIFY(!store.AppendRecord(m_dir->filePath(u"missing/3.txt"_s), u"x"_s, error));
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"in-the-way"_s});
    QVERIFY(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

QTEST_GUILESS_MAIN(TestLinkOutput)
#include "tst_linkoutput.moc"
