// linkhauler-run on long series, as processes against the loopback server, which logs every
// request: a run killed and carried on, the archive, politeness and retries, shards.
#include "testhttpserver.h"

#include <QDir>
#include <QDirIterator>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRunMs = 60000;

struct Finished
{
    int status = -1;
    QStringList messages; // standard output's log lines without the time of day
    QString errors;
};

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file under the folder, hidden ones too, by path relative to it. Address records are
// sorted: shards append to one file in the order they reach it.
QMap<QString, QByteArray> Files(const QString &folder, bool sortRecords = false)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QByteArray bytes = ReadAll(path);
        if (sortRecords && path.endsWith(u".txt"_s)) {
            QByteArrayList lines = bytes.split('\n');
            std::sort(lines.begin(), lines.end());
            bytes = lines.join('\n');
        }
        files.insert(QDir(folder).relativeFilePath(path), bytes);
    }
    return files;
}

// The body each file of the site holds, by its name.
QByteArray Name(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray Body(const QByteArray &path)
{
    return TestHttpServer::bytes(200 + qHash(Name(path)) % 800);
}

} // namespace

class TestLongRuns final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void resumeAfterKill();
    void archive_data();
    void archive();
    void politeness_data();
    void politeness();
    void shardsEqualOneRun();
    void refusals_data();
    void refusals();

private:
    QString expand(QString text) const
    {
        return text.replace(u"$BASE"_s, m_server.url(u""_s))
            .replace(u"$LOCAL"_s, m_server.url(u""_s, u"localhost"_s))
            .replace(u"$OUT"_s, m_out->path());
    }
    std::unique_ptr<QProcess> launch(const QStringList &arguments) const;
    static Finished await(QProcess &program);
    Finished run(const QStringList &arguments) const { return await(*launch(arguments)); }
    // Pages 1 to 3 of /lr/p^N.htm, four files each, into the folder and its hrefs folder.
    QStringList pagesJob(const QString &folder) const;
    int requestsOf(const QString &prefix) const
    {
        return static_cast<int>(
            m_server.requestLog().filter(QRegularExpression(u"^"_s + prefix)).size());
    }

    TestHttpServer m_server;
    std::unique_ptr<QTemporaryDir> m_out;
    // Server side: requests so far by path, and how many requests of /lr/once/ hang.
    struct State
    {
        QMutex mutex;
        QHash<QByteArray, int> seen;
        int hangs = 0;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

void TestLongRuns::initTestCase()
{
    // /lr/p<n>.htm: f<n>_1.bin to f<n>_4.bin, the third of page 2 under once/.
    // /lr/s<n><letter>.htm: g<page>_1.bin, g<page>_2.bin and shared.bin, the same on each page.
    // /lr/limited/: 429 with Retry-After: 2 the first time; /lr/drops/: dropped twice.
    m_server.addPrefixRoute(u"/lr/"_s, [state = m_state](const TestHttpRequest &request) {
        const QByteArray path = request.path;
        int seen = 0;
        bool hang = false;
        {
            QMutexLocker lock(&state->mutex);
            seen = ++state->seen[path];
            hang = path.startsWith("/lr/once/") && state->hangs-- > 0;
        }
        if (path.endsWith(".htm")) {
            const QByteArray page = Name(path).chopped(4);
            QByteArray body = "<html><body>";
            QByteArrayList links;
            if (page.startsWith('p')) {
                for (int k = 1; k <= 4; ++k)
                    links.append((page == "p2" && k == 3 ? "once/f" : "f") + page.mid(1) + '_'
                                 + QByteArray::number(k) + ".bin");
            } else {
                links = {'g' + page.mid(1) + "_1.bin", 'g' + page.mid(1) + "_2.bin", "shared.bin"};
            }
            for (const QByteArray &link : std::as_const(links))
                body += "<a href=\"" + link + "\">" + link + "</a>\n";
            return TestHttpResponse::page(body + "</body></html>");
        }
        TestHttpResponse response = TestHttpResponse::page(Body(path), "application/octet-stream");
        if (hang) {
            response.delivery = TestHttpResponse::Delivery::Hang;
        } else if (path.startsWith("/lr/limited/") && seen == 1) {
            response = TestHttpResponse::error(429);
            response.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("2")));
        } else if (path.startsWith("/lr/drops/") && seen <= 2) {
            response.delivery = TestHttpResponse::Delivery::Drop;
        }
        return response;
    });
    QVERIFY(m_server.start());
}

void TestLongRuns::init()
{
    m_out = std::make_unique<QTemporaryDir>();
    QVERIFY(m_out->isValid());
    for (const char *folder : {"ref/hrefs", "out/hrefs", "other/hrefs"})
        QVERIFY(QDir(m_out->path()).mkpath(QString::fromLatin1(folder)));
    m_server.clearRequestLog();
    QMutexLocker lock(&m_state->mutex);
    m_state->seen.clear();
    m_state->hangs = 0;
}

std::unique_ptr<QProcess> TestLongRuns::launch(const QStringList &arguments) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"QTWEBENGINE_DISABLE_SANDBOX"_s);
    auto program = std::make_unique<QProcess>();
    program->setProcessEnvironment(env);
    QStringList expanded;
    for (const QString &argument : arguments)
        expanded.append(expand(argument));
    program->start(QStringLiteral(LINKHAULER_RUN), expanded + QStringList{u"--quiet"_s});
    return program;
}

Finished TestLongRuns::await(QProcess &program)
{
    Finished finished; // a wait that ends without success leaves the status at -1
    if (!program.waitForFinished(kRunMs))
        return finished;
    finished.status = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    for (const QString &line :
         QString::fromUtf8(program.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        finished.messages.append(line.section(u" -> "_s, 1));
    finished.errors = QString::fromUtf8(program.readAllStandardError());
    return finished;
}

QStringList TestLongRuns::pagesJob(const QString &folder) const
{
    return {u"-a"_s, u"$BASE/lr/p^N.htm"_s,
            u"-n"_s, u"1:3"_s,
            u"-e"_s, u".bin"_s,
            u"-x"_s, u"txt"_s,
            u"-o"_s, u"$OUT/"_s + folder,
            u"-r"_s, u"$OUT/"_s + folder + u"/hrefs"_s,
            u"-t"_s, u"10"_s};
}

void TestLongRuns::resumeAfterKill()
{
    const Finished reference = run(pagesJob(u"ref"_s));
    QCOMPARE(reference.status, 0);
    m_server.clearRequestLog();

    // Killed while page 2 waits for its third file, its first two saved and recorded.
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->hangs = 1;
    }
    const QStringList job = pagesJob(u"out"_s) + QStringList{u"--journal"_s, u"$OUT/journal"_s};
    {
        const std::unique_ptr<QProcess> cut = launch(job);
        QVERIFY(QTest::qWaitFor(
            [&] {
                return m_server.requestCount(u"/lr/once/f2_3.bin"_s) == 1
                    && QFile::exists(m_out->filePath(u"out/f2_2.bin"_s));
            },
            kRunMs));
        ::kill(static_cast<pid_t>(cut->processId()), SIGKILL);
        QVERIFY(cut->waitForFinished(kRunMs));
    }
    const Finished resumed = run(job);
    QVERIFY2(resumed.status == 0, qPrintable(resumed.errors));

    // Files, records and the count of the run that was never cut; no temporary left.
    QCOMPARE(Files(m_out->filePath(u"out"_s)), Files(m_out->filePath(u"ref"_s)));
    QCOMPARE(resumed.messages.last(), reference.messages.last());
    QCOMPARE(reference.messages.last(), u"Done.  Items downloaded: 12."_s);
    // Nothing saved whole before the cut was asked for again, and page 1 not reloaded.
    for (const QString &target : {u"/lr/p1.htm"_s, u"/lr/f1_1.bin"_s, u"/lr/f1_4.bin"_s,
                                  u"/lr/f2_1.bin"_s, u"/lr/f2_2.bin"_s})
        QVERIFY2(m_server.requestCount(target) == 1, qPrintable(target));
    QCOMPARE(m_server.requestCount(u"/lr/once/f2_3.bin"_s), 2);
}

void TestLongRuns::archive_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("known");   // "Already in the archive" lines of the second run
    QTest::addColumn<QString>("end"); // on standard error
    QTest::newRow("every link known") << QStringList{} << 12 << u"12 known from the archive"_s;
    QTest::newRow("--stop-after-known 2")
        << QStringList{u"--stop-after-known"_s, u"2"_s} << 2
        << u"Ended after 2 kept links in a row known from the archive."_s;
}

void TestLongRuns::archive()
{
    QFETCH(QStringList, extra);
    QFETCH(int, known);
    QFETCH(QString, end);
    const QStringList archive{u"--archive"_s, u"$OUT/archive.sqlite"_s};
    QCOMPARE(run(pagesJob(u"ref"_s) + archive).status, 0);
    m_server.clearRequestLog();

    // Into another folder: the files are not there, the archive knows them.
    const Finished second = run(pagesJob(u"other"_s) + archive + extra);
    QVERIFY2(second.status == 0, qPrintable(second.errors));
    QCOMPARE(requestsOf(u"/lr/.*\\.bin"_s), 0);
    QCOMPARE(
        second.messages
            .filter(u"Already in the archive: $BASE/lr/"_s.replace(u"$BASE"_s, m_server.url(u""_s)))
            .size(),
        known);
    QCOMPARE(second.messages.last(), u"Done.  Items downloaded: 0."_s);
    QVERIFY2(second.errors.contains(end), qPrintable(second.errors));
    QCOMPARE(Files(m_out->filePath(u"other"_s)), (QMap<QString, QByteArray>{}));
}

void TestLongRuns::politeness_data()
{
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("watched"); // the path whose requests are counted
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("file");  // in the folder, whole; empty: none
    QTest::addColumn<int>("atLeastMs"); // from the first request of `watched` to its last

    const QStringList others{u"q_1.bin"_s, u"q_2.bin"_s, u"q_3.bin"_s};
    // Relative to the page's folder, /lr/; absolute on another host, the first is saved under
    // the page's number.
    QTest::newRow("429 with Retry-After: 2, another host's files go on")
        << (QStringList{u"$LOCAL/lr/limited/a.bin"_s} + others) << QStringList{}
        << u"/lr/limited/a.bin"_s << 2 << 0 << u"1.txt"_s << 2000;
    QTest::newRow("two drops, then the file")
        << QStringList{u"drops/b.bin"_s} << QStringList{} << u"/lr/drops/b.bin"_s << 3 << 0
        << u"b.bin"_s << 3000;
    QTest::newRow("a 404 goes to --on-error at once")
        << QStringList{u"../status/404"_s} << QStringList{} << u"/status/404"_s << 1 << 1
        << QString() << 0;
    QTest::newRow("--retries 0: a drop is a failure at once")
        << QStringList{u"drops/c.bin"_s} << QStringList{u"--retries"_s, u"0"_s}
        << u"/lr/drops/c.bin"_s << 1 << 1 << QString() << 0;
    QTest::newRow("--delay-ms 300 between one host's requests, the page's too")
        << others << QStringList{u"--delay-ms"_s, u"300"_s} << QString() << 4 << 0 << u"q_3.bin"_s
        << 900;
}

void TestLongRuns::politeness()
{
    QFETCH(QStringList, links);
    QFETCH(QStringList, extra);
    QFETCH(QString, watched);
    QFETCH(int, requests);
    QFETCH(int, status);
    QFETCH(QString, file);
    QFETCH(int, atLeastMs);

    QByteArray page;
    for (const QString &link : links)
        page += "<a href=\"" + expand(link).toUtf8() + "\">x</a>\n";
    const QString address = u"/lr/q%1.htm"_s.arg(qHash(QByteArray(QTest::currentDataTag())));
    m_server.addPage(address, page);
    const Finished finished = run(QStringList{u"-a"_s, u"$BASE"_s + address, u"-e"_s, u"bin"_s,
                                              u"-e"_s, u"404"_s, u"-x"_s, u"txt"_s, u"-o"_s,
                                              u"$OUT/out"_s, u"-t"_s, u"10"_s}
                                  + extra);
    QVERIFY2(finished.status == status, qPrintable(finished.errors));

    QList<TestHttpRequest> seen;
    for (const TestHttpRequest &request : m_server.requests())
        if (watched.isEmpty() ? request.path != "/favicon.ico" : request.path == watched.toUtf8())
            seen.append(request);
    QCOMPARE(seen.size(), requests);
    // Lower bounds the program keeps by design, whatever the machine's speed.
    QVERIFY(seen.last().receivedMs - seen.first().receivedMs >= atLeastMs);
    if (watched.isEmpty())
        for (qsizetype i = 1; i < seen.size(); ++i)
            QVERIFY(seen.at(i).receivedMs - seen.at(i - 1).receivedMs >= 300);
    if (links.first().startsWith(u"$LOCAL"_s)) {
        // The other host's files came in while this one was held.
        for (const TestHttpRequest &request : m_server.requests())
            if (request.path.startsWith("/lr/q_"))
                QVERIFY(request.receivedMs < seen.last().receivedMs);
        QCOMPARE(seen.first().header("host").left(9), QByteArray("localhost"));
    }
    if (!file.isEmpty()) {
        const QString source = file == u"1.txt"_s ? u"a.bin"_s : file;
        QCOMPARE(ReadAll(m_out->filePath(u"out/"_s + file)), Body(source.toUtf8()));
    }
    QCOMPARE(QDir(m_out->filePath(u"out"_s)).entryList({u".lh-*"_s}, QDir::Files | QDir::Hidden),
             QStringList{});
}

void TestLongRuns::shardsEqualOneRun()
{
    const auto job = [](const QString &folder) {
        return QStringList{u"-a"_s,
                           u"$BASE/lr/s^N^L.htm"_s,
                           u"-n"_s,
                           u"1:3"_s,
                           u"-l"_s,
                           u"a:b"_s,
                           u"-e"_s,
                           u".bin"_s,
                           u"-x"_s,
                           u"txt"_s,
                           u"--overwrite"_s,
                           u"-o"_s,
                           u"$OUT/"_s + folder,
                           u"-r"_s,
                           u"$OUT/"_s + folder + u"/hrefs"_s};
    };
    const Finished single = run(job(u"ref"_s));
    QCOMPARE(single.status, 0);

    // Two processes at once into one folder, each with a journal of its own.
    const std::unique_ptr<QProcess> first = launch(
        job(u"out"_s) + QStringList{u"--shard"_s, u"0/2"_s, u"--journal"_s, u"$OUT/j0"_s});
    const std::unique_ptr<QProcess> second = launch(
        job(u"out"_s) + QStringList{u"--shard"_s, u"1/2"_s, u"--journal"_s, u"$OUT/j1"_s});
    const Finished a = await(*first);
    const Finished b = await(*second);
    QVERIFY2(a.status == 0 && b.status == 0, qPrintable(a.errors + b.errors));

    QCOMPARE(Files(m_out->filePath(u"out"_s), true), Files(m_out->filePath(u"ref"_s), true));
    // Pages 1a, 1b, 2a ... by position: the first shard 1a, 3a, 2b; every page once.
    QCOMPARE(a.messages.filter(u"Source code has been downloaded"_s).size(), 3);
    QCOMPARE(b.messages.filter(u"Source code has been downloaded"_s).size(), 3);
    QVERIFY(a.messages.filter(u"/lr/s1a.htm"_s).size() == 1);
    QCOMPARE(a.messages.last(), u"Done.  Items downloaded: 9."_s);
    QCOMPARE(single.messages.last(), u"Done.  Items downloaded: 18."_s);
}

void TestLongRuns::refusals_data()
{
    QTest::addColumn<QStringList>("before"); // a run that writes the journal first; empty: none
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");

    const QStringList one{u"-a"_s,  u"$BASE/lr/p^N.htm"_s, u"-e"_s,          u".bin"_s, u"-x"_s,
                          u"txt"_s, u"--journal"_s,        u"$OUT/journal"_s};
    QTest::newRow("a journal of another job")
        << (one + QStringList{u"-n"_s, u"1:1"_s}) << (one + QStringList{u"-n"_s, u"1:2"_s})
        << u"The journal \"$OUT/journal\" belongs to another job: txtStopNum is \"1\" there and "
           u"\"2\" here."_s;
    QTest::newRow("a journal of another shard")
        << (one + QStringList{u"-n"_s, u"1:2"_s, u"--shard"_s, u"0/2"_s})
        << (one + QStringList{u"-n"_s, u"1:2"_s, u"--shard"_s, u"1/2"_s})
        << u"is shard 0/2's, not shard 1/2's"_s;
    QTest::newRow("an archive that is no database")
        << QStringList{} << (one + QStringList{u"--archive"_s, u"$OUT/ref/hrefs"_s})
        << u"The archive \"$OUT/ref/hrefs\" cannot be used: it is a folder."_s;
    QTest::newRow("--stop-after-known without an archive")
        << QStringList{} << (one + QStringList{u"--stop-after-known"_s, u"3"_s})
        << u"--stop-after-known counts links known from the archive"_s;
    QTest::newRow("one value per file across shards")
        << QStringList{} << QStringList{u"-a"_s,      u"$BASE/lr/s^N^L.htm"_s,
                                        u"-n"_s,      u"1:3"_s,
                                        u"-l"_s,      u"a:b"_s,
                                        u"-e"_s,      u".bin"_s,
                                        u"-x"_s,      u"txt"_s,
                                        u"-r"_s,      u"$OUT/ref"_s,
                                        u"--hrefs"_s, u"one-per-file"_s,
                                        u"--shard"_s, u"0/2"_s}
        << u"pages of one number share their file"_s;
}

void TestLongRuns::refusals()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    if (!before.isEmpty())
        QCOMPARE(run(before).status, 0);
    m_server.clearRequestLog();

    const Finished refused = run(arguments);
    QCOMPARE(refused.status, 2);
    QVERIFY2(refused.errors.contains(expand(error)), qPrintable(refused.errors));
    QCOMPARE(m_server.requestLog(), QStringList{}); // refused before anything is fetched
}

QTEST_GUILESS_MAIN(TestLongRuns)
#include "tst_longruns.moc"
