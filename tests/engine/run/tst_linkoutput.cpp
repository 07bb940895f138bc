#include "runfakes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

// One page, number 3, whose kept links go through the link output into a temporary
// folder holding "links" (downloads) and "hrefs" (link-address files). Paths below are
// relative to that folder.
struct LinkCase
{
    QStringList links{u"x.zip"_s};
    int saveLinks = 1;
    int saveHREFs = 1;
    bool onePerFile = false;
    int overwrite = 0;
    QString linksFolder = u"links"_s; // empty: none given
    QString hrefsFolder = u"hrefs"_s; // made before the run unless it is "hrefs/new"
    QHash<QString, Transfer::Result> results{};
    QMap<QString, QByteArray> before{};    // files there before the run
    QMap<QString, QByteArray> meanwhile{}; // files another process saves during the download
    QString directoryInTheWay{};           // a folder where a download goes
    QList<bool> answers{};
    int runs = 1;
    bool runInRoot = false; // the process's current directory is the temporary folder
    std::int32_t countFrom = 0;

    QMap<QString, QByteArray> after{}; // every file afterwards, nothing else
    QList<int> prompts{};              // error codes, in order
    QStringList logged{};              // messages among the log's, "@" standing for the folder
    int count = 0;
    std::int32_t items = -1; // the run's count at the end; -1: `count`
    bool done = true;
};
Q_DECLARE_METATYPE(LinkCase)

namespace {

Transfer::Result Bytes(const QByteArray &content)
{
    return Transfer::Result{true, content, 0, {}};
}

QMap<QString, QByteArray> FilesUnder(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files.insert(QDir(root).relativeFilePath(file.fileName()), file.readAll());
    }
    return files;
}

} // namespace

class TestLinkOutput : public QObject
{
    Q_OBJECT

private slots:
    void linkOutput_data();
    void linkOutput();
};

void TestLinkOutput::linkOutput_data()
{
    QTest::addColumn<LinkCase>("c");
    const QByteArray ten = "0123456789";
    const QString x = u"http://h/d/x.zip"_s;

    for (int size : {0, 1, 2, 3}) {
        // Two bytes or fewer: no file, no address, no count, no log line.
        const QByteArray content(size, 'b');
        LinkCase c{.results = {{x, Bytes(content)}}};
        if (size == 3) {
            c.after = {{u"links/x.zip"_s, content},
                       {u"hrefs/3.txt"_s, "\"" + x.toUtf8() + "\"\r\n"}};
            c.logged = {u"Download complete: @/links/x.zip."_s};
            c.count = 1;
        }
        QTest::addRow("%d bytes", size) << c;
    }
    QTest::newRow("existing file kept")
        << LinkCase{.before = {{u"links/x.zip"_s, "an earlier, longer file"}},
                    .after = {{u"links/x.zip"_s, "an earlier, longer file"}},
                    .logged = {u"File already exists: @/links/x.zip."_s}};
    // Another run saved the name after the overwrite test: its file stands, ours goes.
    QTest::newRow("file saved meanwhile kept")
        << LinkCase{.meanwhile = {{u"links/x.zip"_s, "another run's"}},
                    .after = {{u"links/x.zip"_s, "another run's"}},
                    .logged = {u"File already exists: @/links/x.zip."_s}};
    QTest::newRow("file saved meanwhile replaced") << LinkCase{
        .overwrite = 1,
        .meanwhile = {{u"links/x.zip"_s, "another run's"}},
        .after = {{u"links/x.zip"_s, ten}, {u"hrefs/3.txt"_s, "\"http://h/d/x.zip\"\r\n"}},
        .count = 1};
    QTest::newRow("existing file replaced whole") << LinkCase{
        .overwrite = 1,
        .before = {{u"links/x.zip"_s, "an earlier, longer file"}},
        .after = {{u"links/x.zip"_s, ten}, {u"hrefs/3.txt"_s, "\"http://h/d/x.zip\"\r\n"}},
        .count = 1};
    const QByteArray records = "\"http://h/d/x.zip\"\r\n\"http://h/d/sub/y.zip\"\r\n"
                               "\"http://o/\xc3\xa9.zip\"\r\n";
    QTest::newRow("all in one, across runs, trailing separator") << LinkCase{
        .links = {u"x.zip"_s, u"/d/sub/y.zip"_s, u"http://o/é.zip"_s},
        .saveLinks = 0,
        .hrefsFolder = u"hrefs/"_s,
        .runs = 2,
        .after = {{u"hrefs/3.txt"_s, records + records}},
        .logged = {u"Download complete: @/links/x.zip."_s, u"Download complete: @/links/y.zip."_s,
                   u"Download complete: @/links/3.txt."_s},
        .count = 3};
    QTest::newRow("all in one, folder missing") << LinkCase{.saveLinks = 0,
                                                            .hrefsFolder = u"hrefs/new"_s,
                                                            .answers = {false},
                                                            .prompts = {75},
                                                            .done = false};
    QTest::newRow("one per file, first query value, folder made")
        << LinkCase{.links = {u"old.asp?id=7"_s, u"show.asp?id=42&page=2"_s},
                    .saveLinks = 0,
                    .onePerFile = true,
                    .hrefsFolder = u"hrefs/new"_s,
                    .after = {{u"hrefs/new/3.txt"_s, "\"42\"\r\n"}},
                    .logged = {u"Download complete: @/hrefs/new/3.txt."_s},
                    .count = 2};
    QTest::newRow("one per file, empty value")
        << LinkCase{.links = {u"old.asp?id=7"_s, u"show.asp?id="_s},
                    .saveLinks = 0,
                    .onePerFile = true,
                    .after = {{u"hrefs/3.txt"_s, "\"7\"\r\n"}},
                    .count = 1};
    QTest::newRow("one per file, no equals, Yes writes the address")
        << LinkCase{.links = {u"plain.htm"_s},
                    .saveLinks = 0,
                    .onePerFile = true,
                    .after = {{u"hrefs/3.txt"_s, "\"http://h/d/plain.htm\"\r\n"}},
                    .prompts = {9},
                    .count = 1};
    QTest::newRow("one per file, no equals, No ends") << LinkCase{.links = {u"plain.htm"_s},
                                                                  .saveLinks = 0,
                                                                  .onePerFile = true,
                                                                  .answers = {false},
                                                                  .prompts = {9},
                                                                  .done = false};
    const auto failed = Transfer::Result{false, {}, 404, u"HTTP status 404: Not Found"_s};
    QTest::newRow("download fails, Yes skips the link") << LinkCase{
        .links = {u"bad.zip"_s, u"x.zip"_s},
        .results = {{u"http://h/d/bad.zip"_s, failed}},
        .after = {{u"links/x.zip"_s, ten}, {u"hrefs/3.txt"_s, "\"http://h/d/x.zip\"\r\n"}},
        .prompts = {404},
        .count = 1};
    QTest::newRow("download fails, No ends")
        << LinkCase{.links = {u"bad.zip"_s, u"x.zip"_s},
                    .results = {{u"http://h/d/bad.zip"_s, failed}},
                    .answers = {false},
                    .prompts = {404},
                    .done = false};
    QTest::newRow("write fails, Yes goes on with the address")
        << LinkCase{.directoryInTheWay = u"links/x.zip"_s,
                    .after = {{u"hrefs/3.txt"_s, "\"http://h/d/x.zip\"\r\n"}},
                    .prompts = {75},
                    .count = 1};
    QTest::newRow("mixed page: count equals complete lines")
        << LinkCase{.links = {u"a.zip"_s, u"tiny.zip"_s, u"a.zip"_s, u"b.zip"_s},
                    .saveHREFs = 0,
                    .results = {{u"http://h/d/tiny.zip"_s, Bytes("ok")}},
                    .after = {{u"links/a.zip"_s, ten}, {u"links/b.zip"_s, ten}},
                    .logged = {u"File already exists: @/links/a.zip."_s},
                    .count = 2};
    // Only addresses wanted and no download folder given: nothing to make there, no prompt.
    LinkCase noFolder{.links = {u"files/x.zip"_s},
                      .saveLinks = 0,
                      .linksFolder = {},
                      .after = {{u"hrefs/3.txt"_s, "\"http://h/d/files/x.zip\"\r\n"}},
                      .logged = {u"Download complete: x.zip."_s},
                      .count = 1};
    QTest::newRow("no download folder") << noFolder;
    // Regression: an empty link-address folder put the file at the file system's root.
    for (bool onePerFile : {false, true}) {
        QTest::addRow("no link-address folder, %s", onePerFile ? "one per file" : "all in one")
            << LinkCase{.links = {u"show.asp?id=42"_s},
                        .saveLinks = 0,
                        .onePerFile = onePerFile,
                        .hrefsFolder = {},
                        .prompts = {76},
                        .count = 1};
    }
    // Regression: a bare name was tested against the current directory, so a stray file
    // there blocked the link as "already exists".
    noFolder.runInRoot = true;
    noFolder.before = {{u"x.zip"_s, "stray"}};
    noFolder.after.insert(u"x.zip"_s, "stray");
    QTest::newRow("no download folder, same name in the current directory") << noFolder;
    QTest::newRow("count at its limit: Overflow, Yes logs the link uncounted")
        << LinkCase{.links = {u"a.zip"_s, u"b.zip"_s},
                    .saveHREFs = 0,
                    .countFrom = std::numeric_limits<std::int32_t>::max() - 1,
                    .after = {{u"links/a.zip"_s, ten}, {u"links/b.zip"_s, ten}},
                    .prompts = {6},
                    .count = 2,
                    .items = std::numeric_limits<std::int32_t>::max()};
}

void TestLinkOutput::linkOutput()
{
    QFETCH(LinkCase, c);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path();
    QVERIFY(QDir(root).mkpath(u"links"_s));
    if (c.hrefsFolder != u"hrefs/new"_s)
        QVERIFY(QDir(root).mkpath(u"hrefs"_s));
    for (auto it = c.before.cbegin(); it != c.before.cend(); ++it) {
        QFile file(root + u'/' + it.key());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(it.value()) == it.value().size());
    }
    if (!c.directoryInTheWay.isEmpty())
        QVERIFY(QDir(root).mkpath(c.directoryInTheWay));

    RunRig rig(c.countFrom);
    QString markup;
    for (const QString &link : c.links)
        markup += u"<a href=\""_s + link + u"\">.</a>"_s;
    rig.browser.pages[u"http://h/d/p3.htm"_s] = FakePage{LoadResult::Succeeded, {}, markup};
    rig.job.f.startNum = rig.job.f.stopNum = u"3"_s;
    rig.job.f.saveLinks = c.saveLinks;
    rig.job.f.saveLinksFolder = c.linksFolder.isEmpty() ? QString() : root + u'/' + c.linksFolder;
    rig.job.f.saveHREFs = c.saveHREFs;
    rig.job.f.saveHREFsFolder = c.hrefsFolder.isEmpty() ? QString() : root + u'/' + c.hrefsFolder;
    rig.job.f.oneHREFPerFile = c.onePerFile;
    rig.job.f.overwrite = c.overwrite;
    rig.transfer.results = c.results;
    rig.transfer.whileAnswering = [&] {
        for (auto it = c.meanwhile.cbegin(); it != c.meanwhile.cend(); ++it) {
            QFile file(root + u'/' + it.key());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(it.value()) == it.value().size());
        }
    };
    rig.prompt.answers = c.answers;

    const QString previous = QDir::currentPath();
    if (c.runInRoot)
        QVERIFY(QDir::setCurrent(root));
    for (int run = 0; run < c.runs; ++run)
        rig.run->Go();
    QDir::setCurrent(previous);

    QCOMPARE(FilesUnder(root), c.after);
    QVERIFY2(!QFileInfo::exists(u"/3.txt"_s), "a link-address file was written at the root");
    QStringList prompts;
    for (const QString &text : rig.prompt.texts)
        prompts.append(text.section(u"\r\n"_s, 2, 2));
    QStringList expectedPrompts;
    for (int code : c.prompts)
        expectedPrompts.append(u"Error: "_s + QString::number(code));
    QCOMPARE(prompts, expectedPrompts);

    const QStringList messages = rig.view.messages();
    for (const QString &line : c.logged)
        QVERIFY2(messages.contains(QString(line).replace(u'@', root)), qPrintable(line));
    const auto complete = std::count_if(messages.begin(), messages.end(), [](const QString &m) {
        return m.startsWith(u"Download complete: "_s);
    });
    QCOMPARE(static_cast<int>(complete), c.count);
    QCOMPARE(rig.run->ItemsDownloaded(), c.items < 0 ? c.count : c.items);
    QCOMPARE(messages.last()
                 == u"Done.  Items downloaded: %1."_s.arg(c.items < 0 ? c.count : c.items),
             c.done);
    QVERIFY(rig.view.idle());
}

QTEST_GUILESS_MAIN(TestLinkOutput)
#include "tst_linkoutput.moc"
