// linkhauler-run on long series, as processes against the loopback server, which logs every
// request: a run killed and carried on, the archive, politeness and retries, shards.
#include "testhttpserver.h"

#include <QDir>
#include <QDirIterator>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRunMs = 60000;

// Pages 1 to 3 of /lr/p^N.htm, four files each, into $OUT/<folder> and its hrefs folder.
QString PagesJob(const QString &folder)
{
    return u"-a|$BASE/lr/p^N.htm|-n|1:3|-e|.bin|-x|txt|-t|10|-o|$OUT/%1|-r|$OUT/%1/hrefs"_s.arg(
        folder);
}

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
    void limits_data();
    void limits();
    void retryFailed();
    void refusals_data();
    void refusals();
    void secretsAndControlsStayOut();

private:
    QString expand(QString text) const
    {
        return text.replace(u"$BASE"_s, m_server.url(u""_s))
            .replace(u"$LOCAL"_s, m_server.url(u""_s, u"localhost"_s))
            .replace(u"$OUT"_s, m_out->path());
    }
    // The arguments are split at "|".
    std::unique_ptr<QProcess> launch(const QString &arguments) const;
    static Finished await(QProcess &program);
    Finished run(const QString &arguments) const { return await(*launch(arguments)); }

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
    // /lr/limited/: 429 with Retry-After: 2 the first time; /lr/drops/: dropped twice;
    // /lr/busy/<page>.htm: 429 the first time.
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
            if (path.startsWith("/lr/evil/")) {
                links = {"gone.bin", "f_1.bin"};
            } else if (page.startsWith('p')) {
                for (int k = 1; k <= 4; ++k)
                    links.append((page == "p2" && k == 3 ? "once/f" : "f") + page.mid(1) + '_'
                                 + QByteArray::number(k) + ".bin");
            } else {
                links = {'g' + page.mid(1) + "_1.bin", 'g' + page.mid(1) + "_2.bin", "shared.bin"};
            }
            for (const QByteArray &link : std::as_const(links))
                body += "<a href=\"" + link + "\">" + link + "</a>\n";
            if (path.startsWith("/lr/busy/") && seen == 1)
                return TestHttpResponse::error(429);
            return TestHttpResponse::page(body + "</body></html>");
        }
        TestHttpResponse response = TestHttpResponse::page(Body(path), "application/octet-stream");
        if (Name(path) == "gone.bin") {
            // A reason phrase that would retitle the terminal and colour what follows.
            response = TestHttpResponse::error(404);
            response.reason = "Not Found\x1b]0;owned\x07\x1b[31m";
        } else if (hang) {
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

std::unique_ptr<QProcess> TestLongRuns::launch(const QString &arguments) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"QTWEBENGINE_DISABLE_SANDBOX"_s);
    auto program = std::make_unique<QProcess>();
    program->setProcessEnvironment(env);
    program->start(QStringLiteral(LINKHAULER_RUN),
                   expand(arguments + u"|--progress-every|0"_s).split(u'|'));
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

void TestLongRuns::resumeAfterKill()
{
    const Finished reference = run(PagesJob(u"ref"_s));
    QCOMPARE(reference.status, 0);
    m_server.clearRequestLog();

    // Killed while page 2 waits for its third file, its first two saved and recorded.
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->hangs = 1;
    }
    const QString job = PagesJob(u"out"_s) + u"|--journal|$OUT/journal"_s;
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

    // Files, records and the count of the run never cut; no temporary left.
    QCOMPARE(Files(m_out->filePath(u"out"_s)), Files(m_out->filePath(u"ref"_s)));
    QCOMPARE(resumed.messages.last(), reference.messages.last());
    QCOMPARE(reference.messages.last(), u"Done.  Items downloaded: 12."_s);
    // Nothing saved whole before the cut was asked for again, and page 1 not reloaded.
    for (const QString &target : u"p1.htm f1_1.bin f1_4.bin f2_1.bin f2_2.bin"_s.split(u' '))
        QVERIFY2(m_server.requestCount(u"/lr/"_s + target) == 1, qPrintable(target));
    QCOMPARE(m_server.requestCount(u"/lr/once/f2_3.bin"_s), 2);
}

void TestLongRuns::archive_data()
{
    QTest::addColumn<QString>("extra");
    QTest::addColumn<int>("known");   // "Already in the archive" lines of the second run
    QTest::addColumn<QString>("end"); // on standard error
    QTest::newRow("every link known") << QString() << 12 << u"12 known from the archive"_s;
    QTest::newRow("--stop-after-known 2")
        << u"|--stop-after-known|2"_s << 2
        << u"Ended after 2 kept links in a row known from the archive."_s;
}

void TestLongRuns::archive()
{
    QFETCH(QString, extra);
    QFETCH(int, known);
    QFETCH(QString, end);
    QCOMPARE(run(PagesJob(u"ref"_s) + u"|--archive|$OUT/archive.sqlite"_s).status, 0);
    m_server.clearRequestLog();

    // Into another folder: the files are not there, the archive knows them.
    const Finished second = run(PagesJob(u"other"_s) + u"|--archive|$OUT/archive.sqlite"_s + extra);
    QVERIFY2(second.status == 0, qPrintable(second.errors));
    QCOMPARE(m_server.requestLog().filter(u".bin"_s), QStringList{});
    QCOMPARE(second.messages.filter(expand(u"Already in the archive: $BASE/lr/"_s)).size(), known);
    QCOMPARE(second.messages.last(), u"Done.  Items downloaded: 0."_s);
    QVERIFY2(second.errors.contains(end), qPrintable(second.errors));
    QCOMPARE(Files(m_out->filePath(u"other"_s)), (QMap<QString, QByteArray>{}));
}

void TestLongRuns::politeness_data()
{
    QTest::addColumn<QString>("page");    // empty: a page of the links
    QTest::addColumn<QString>("links");   // relative to /lr/
    QTest::addColumn<QString>("extra");   // arguments
    QTest::addColumn<QString>("watched"); // the path whose requests count; empty: all
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("file");  // saved whole; empty: none
    QTest::addColumn<int>("atLeastMs"); // from the first request watched to the last

    // Absolute on another host, the limited file is saved under the page's number.
    QTest::newRow("429 with Retry-After: 2, another host's files go on")
        << QString() << u"$LOCAL/lr/limited/a.bin q_1.bin q_2.bin q_3.bin"_s << QString()
        << u"/lr/limited/a.bin"_s << 2 << 0 << u"1.txt a.bin"_s << 2000;
    QTest::newRow("two drops, then the file")
        << QString() << u"drops/b.bin"_s << QString() << u"/lr/drops/b.bin"_s << 3 << 0
        << u"b.bin b.bin"_s << 3000;
    QTest::newRow("a 404 goes to --on-error at once")
        << QString() << u"../status/404"_s << QString() << u"/status/404"_s << 1 << 1 << QString()
        << 0;
    QTest::newRow("--retries 0: a drop fails at once")
        << QString() << u"drops/c.bin"_s << u"|--retries|0"_s << u"/lr/drops/c.bin"_s << 1 << 1
        << QString() << 0;
    QTest::newRow("--delay-ms 300 between one host's requests, the page's too")
        << QString() << u"q_1.bin q_2.bin q_3.bin"_s << u"|--delay-ms|300"_s << QString() << 4 << 0
        << u"q_3.bin q_3.bin"_s << 900 - 100;
    // The engine does not show a page's Retry-After: the page waits out the backoff.
    QTest::newRow("a page answered 429, then the page")
        << u"/lr/busy/p7.htm"_s << QString() << QString() << u"/lr/busy/p7.htm"_s << 2 << 0
        << u"f7_1.bin f7_1.bin"_s << 1000;
    QTest::newRow("a page answered 404 goes to --on-error at once")
        << u"/status/404"_s << QString() << QString() << u"/status/404"_s << 1 << 1 << QString()
        << 0;
}

void TestLongRuns::politeness()
{
    QFETCH(QString, page);
    QFETCH(QString, links);
    QFETCH(QString, extra);
    QFETCH(QString, watched);
    QFETCH(int, requests);
    QFETCH(int, status);
    QFETCH(QString, file);
    QFETCH(int, atLeastMs);

    QString address = page;
    if (address.isEmpty()) {
        QByteArray markup;
        for (const QString &link : links.split(u' '))
            markup += "<a href=\"" + expand(link).toUtf8() + "\">x</a>\n";
        address = u"/lr/q%1.htm"_s.arg(qHash(QByteArray(QTest::currentDataTag())));
        m_server.addPage(address, markup);
    }
    const Finished finished = run(
        u"-a|$BASE%1|-e|bin|-e|404|-x|txt|-o|$OUT/out|-t|10"_s.arg(address) + extra);
    QVERIFY2(finished.status == status, qPrintable(finished.errors));

    QList<TestHttpRequest> seen;
    for (const TestHttpRequest &request : m_server.requests())
        if (watched.isEmpty() ? request.path != "/favicon.ico" : request.path == watched.toUtf8())
            seen.append(request);
    QCOMPARE(seen.size(), requests);
    // Lower bounds the program keeps by design, whatever the machine's speed; the server
    // notes a request a little after it went out, by a margin that varies.
    QVERIFY(seen.last().receivedMs - seen.first().receivedMs >= atLeastMs);
    for (qsizetype i = 1; watched.isEmpty() && i < seen.size(); ++i)
        QVERIFY(seen.at(i).receivedMs - seen.at(i - 1).receivedMs >= 300 - 100);
    if (links.startsWith(u"$LOCAL"_s)) {
        QCOMPARE(seen.first().header("host").left(9), QByteArray("localhost"));
        for (const TestHttpRequest &request : m_server.requests()) // in while it was held
            if (request.path.startsWith("/lr/q_"))
                QVERIFY(request.receivedMs < seen.last().receivedMs);
    }
    // The file as saved, and the file it came from.
    if (!file.isEmpty())
        QCOMPARE(ReadAll(m_out->filePath(u"out/"_s + file.section(u' ', 0, 0))),
                 Body(file.section(u' ', 1).toUtf8()));
    QCOMPARE(QDir(m_out->filePath(u"out"_s)).entryList({u".lh-*"_s}, QDir::Files | QDir::Hidden),
             QStringList{});
}

void TestLongRuns::shardsEqualOneRun()
{
    const QString job = u"-a|$BASE/lr/s^N^L.htm|-n|1:3|-l|a:b|-e|.bin|-x|txt|--overwrite|-o|$OUT/"
                        u"%1|-r|$OUT/%1/hrefs"_s;
    const Finished single = run(job.arg(u"ref"_s));
    QCOMPARE(single.messages.last(), u"Done.  Items downloaded: 18."_s);
    m_server.clearRequestLog();

    // Two processes at once into one folder, each with a journal of its own.
    const std::unique_ptr<QProcess> first = launch(job.arg(u"out"_s)
                                                   + u"|--shard|0/2|--journal|$OUT/j0"_s);
    const std::unique_ptr<QProcess> second = launch(job.arg(u"out"_s)
                                                    + u"|--shard|1/2|--journal|$OUT/j1"_s);
    const Finished a = await(*first);
    const Finished b = await(*second);
    QVERIFY2(a.status == 0 && b.status == 0, qPrintable(a.errors + b.errors));
    QCOMPARE(Files(m_out->filePath(u"out"_s), true), Files(m_out->filePath(u"ref"_s), true));
    // Each page once, by its own shard: none loaded ahead by the other.
    for (const QString &page : u"1a 2a 3a 1b 2b 3b"_s.split(u' '))
        QVERIFY2(m_server.requestCount(u"/lr/s%1.htm"_s.arg(page)) == 1, qPrintable(page));
    // Pages 1a, 2a, 3a, 1b, 2b, 3b by position: the first shard has 1a, 3a and 2b.
    QCOMPARE(a.messages.filter(u"Source code has been downloaded"_s).size(), 3);
    QCOMPARE(a.messages.filter(u"/lr/s1a.htm"_s).size(), 1);
    QCOMPARE(b.messages.last(), u"Done.  Items downloaded: 9."_s);
}

void TestLongRuns::limits_data()
{
    QTest::addColumn<QString>("links"); // on the server
    QTest::addColumn<QString>("extra"); // arguments
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("saved"); // the files in the folder, by name
    QTest::addColumn<QString>("said");  // on standard output or error
    QTest::addColumn<int>("requests");  // of the first link

    QTest::newRow("--max-size by Content-Length")
        << u"/bytes/5000 /bytes/100"_s << u"|--max-size|4k"_s << 1 << u"100"_s
        << u"Error 63 at $BASE/lr/../bytes/5000: larger than 4k"_s << 1;
    QTest::newRow("--max-size by a body without a length")
        << u"/unannounced/5000 /bytes/100"_s << u"|--max-size|4k"_s << 1 << u"100"_s
        << u"Error 63 at $BASE/lr/../unannounced/5000: larger than 4k"_s << 1;
    // Ten seconds of trickle; the default retries would try a plain time-out again.
    QTest::newRow("--max-time against a trickle, not tried again")
        << u"/slow?n=200&ms=50 /bytes/100"_s << u"|--max-time|1"_s << 1 << u"100"_s
        << u"Error 28 at $BASE/lr/../slow?n=200&ms=50"_s << 1;
    QTest::newRow("--quota ends the run at the next link")
        << u"/bytes/3000 /bytes/2000 /bytes/1000"_s << u"|--quota|4k"_s << 4 << u"2000 3000"_s
        << u"Quota of 4k reached: 5000 bytes saved."_s << 1;
    QTest::newRow("--verbose logs each request")
        << u"/bytes/100"_s << u"|-v"_s << 0 << u"100"_s
        << u"Request: $BASE/lr/../bytes/100 200 100 bytes "_s << 1;
}

void TestLongRuns::limits()
{
    QFETCH(QString, links);
    QFETCH(QString, extra);
    QFETCH(int, status);
    QFETCH(QString, saved);
    QFETCH(QString, said);
    QFETCH(int, requests);

    QByteArray markup;
    for (const QString &link : links.split(u' '))
        markup += "<a href=\".." + link.toUtf8() + "\">x</a>\n"; // the page is in /lr/
    const QString page = u"/lr/limits%1.htm"_s.arg(qHash(QByteArray(QTest::currentDataTag())));
    m_server.addPage(page, markup);
    const Finished finished = run(u"-a|$BASE%1|--all-links|-x|bin|-o|$OUT/out|-t|10"_s.arg(page)
                                  + extra);
    const QString printed = finished.messages.join(u'\n') + finished.errors;
    QVERIFY2(finished.status == status, qPrintable(printed));
    QVERIFY2(printed.contains(expand(said)), qPrintable(printed));
    QCOMPARE(m_server.requestCount(links.section(u' ', 0, 0)), requests);
    // Nothing of a file over a limit stays, not even its temporary file.
    QCOMPARE(QDir(m_out->filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             saved.split(u' '));
}

// A page and a link that fail once; tried again, exactly they are asked for, and the folder
// ends as a run without failures leaves it.
void TestLongRuns::retryFailed()
{
    auto asked = std::make_shared<QHash<QByteArray, int>>();
    auto mutex = std::make_shared<QMutex>();
    m_server.addPrefixRoute(u"/retry/"_s, [asked, mutex](const TestHttpRequest &request) {
        int seen = 0;
        {
            QMutexLocker lock(mutex.get());
            seen = ++(*asked)[request.path];
        }
        if ((request.path == "/retry/p2.htm" || request.path == "/retry/f1_2.bin") && seen == 1)
            return TestHttpResponse::error(404);
        if (!request.path.endsWith(".htm"))
            return TestHttpResponse::page(Body(request.path), "application/octet-stream");
        const QByteArray n = request.path.mid(8, 1);
        return TestHttpResponse::page("<a href=\"f" + n + "_1.bin\">1</a><a href=\"f" + n
                                      + "_2.bin\">2</a>");
    });
    const QString job = u"-a|$BASE/retry/p^N.htm|-n|1:3|-e|.bin|-x|txt|-t|10|-o|$OUT/%1|-r|"
                        u"$OUT/%1/hrefs|--failed|$OUT/failed.txt"_s;
    QCOMPARE(run(job.arg(u"out"_s)).status, 1);
    QCOMPARE(ReadAll(m_out->filePath(u"failed.txt"_s)),
             expand(u"$BASE/retry/f1_2.bin\t0\tlink\n$BASE/retry/p2.htm\t1\tpage\n"_s).toUtf8());

    m_server.clearRequestLog();
    const Finished retried = run(job.arg(u"out"_s) + u"|--retry-failed|$OUT/failed.txt"_s);
    QVERIFY2(retried.status == 0, qPrintable(retried.errors));
    // The page's other link was handled before: the retry does not so much as name it.
    QVERIFY2(retried.messages.filter(u"f1_1"_s).isEmpty() && !retried.errors.contains(u"f1_1"_s),
             qPrintable(retried.messages.join(u'\n') + retried.errors));
    QCOMPARE(ReadAll(m_out->filePath(u"failed.txt"_s)), QByteArray());
    QStringList asks = m_server.requestLog().filter(u"/retry/"_s);
    asks.sort();
    QCOMPARE(asks,
             u"/retry/f1_2.bin /retry/f2_1.bin /retry/f2_2.bin /retry/p1.htm /retry/p2.htm"_s.split(
                 u' '));
    QCOMPARE(run(job.arg(u"ref"_s)).status, 0);
    QCOMPARE(Files(m_out->filePath(u"out"_s), true), Files(m_out->filePath(u"ref"_s), true));
}

void TestLongRuns::refusals_data()
{
    QTest::addColumn<QString>("before"); // a run that writes the journal first; empty: none
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("error");

    const QString one = u"-a|$BASE/lr/p^N.htm|-e|.bin|-x|txt|--journal|$OUT/journal|-n|1:"_s;
    QTest::newRow("a journal of another job")
        << one + u"1"_s << one + u"2"_s
        << u"The journal \"$OUT/journal\" belongs to another job: txtStopNum is \"1\" there and "
           u"\"2\" here."_s;
    QTest::newRow("a journal of another shard")
        << one + u"2|--shard|0/2"_s << one + u"2|--shard|1/2"_s
        << u"is shard 0/2's, not shard 1/2's"_s;
    QTest::newRow("--stop-after-known without an archive")
        << QString() << one + u"2|--stop-after-known|3"_s
        << u"--stop-after-known counts links known from the archive"_s;
    QTest::newRow("a journal that is the job file")
        << QString() << u"--job|$OUT/job.json|--journal|$OUT/job.json"_s
        << u"The journal \"$OUT/job.json\" is the same file as the job file."_s;
    QTest::newRow("--save-cookies that is the job file")
        << QString() << u"--job|$OUT/job.json|--save-cookies|$OUT/job.json"_s
        << u"The --save-cookies file \"$OUT/job.json\" is the same file as the job file."_s;
    QTest::newRow("a --log that is the --retry-failed file")
        << QString() << u"--job|$OUT/job.json|--retry-failed|$OUT/none.txt|--log|$OUT/none.txt"_s
        << u"The --log file \"$OUT/none.txt\" is the same file as the --retry-failed file."_s;
    QTest::newRow("a job that is no file")
        << QString() << u"--job|/dev/zero"_s
        << u"The job file \"/dev/zero\" is not a regular file."_s;
    QTest::newRow("a job over 1 MiB") << QString() << u"--job|$OUT/big.json"_s
                                      << u"The job file \"$OUT/big.json\" is larger than 1 MiB."_s;
    QTest::newRow("one value per file across shards")
        << QString()
        << u"-a|$BASE/lr/s^N^L.htm|-n|1:3|-l|a:b|-e|.bin|-x|txt|-r|$OUT/ref|--hrefs|one-per-file|"
           u"--shard|0/2"_s
        << u"pages of one number share their file"_s;
    QTest::newRow("a --failed line that is none")
        << QString() << one + u"2|--retry-failed|$OUT/bad.txt"_s
        << u"The --retry-failed file \"$OUT/bad.txt\" cannot be used: line 2 is not ADDRESS, a "
           u"tab, a position or -, a tab, and page or link."_s;
    QTest::newRow("--retry-failed with a journal")
        << QString() << one + u"2|--retry-failed|$OUT/none.txt"_s
        << u"--retry-failed visits only the pages of its list"_s;
}

void TestLongRuns::refusals()
{
    QFETCH(QString, before);
    QFETCH(QString, arguments);
    QFETCH(QString, error);
    const QByteArray job = expand(u"{\"txtAddress\": \"$BASE/lr/p1.htm\", \"lstEnd\": [\"bin\"], "
                                  u"\"txtDefaultExtension\": \"txt\"}"_s)
                               .toUtf8();
    QFile jobFile(m_out->filePath(u"job.json"_s)), big(m_out->filePath(u"big.json"_s));
    QVERIFY(jobFile.open(QIODevice::WriteOnly) && jobFile.write(job) == job.size());
    jobFile.close();
    QVERIFY(big.open(QIODevice::WriteOnly) && big.write(QByteArray(1024 * 1024, ' ') + job));
    big.close();
    QFile bad(m_out->filePath(u"bad.txt"_s));
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("http://h/a\t0\tlink\nhttp://h/b\t1\n"));
    bad.close();
    QVERIFY(QFile(m_out->filePath(u"none.txt"_s)).open(QIODevice::WriteOnly));
    if (!before.isEmpty())
        QCOMPARE(run(before).status, 0);
    m_server.clearRequestLog();

    const Finished refused = run(arguments);
    QCOMPARE(refused.status, 2);
    QVERIFY2(refused.errors.contains(expand(error)), qPrintable(refused.errors));
    QCOMPARE(m_server.requestLog(), QStringList{}); // refused before anything is fetched
    QCOMPARE(ReadAll(jobFile.fileName()), job);
}

// A password in the job's address reaches the server, but no output of the program; a server's
// reason phrase reaches the terminal as text, not as commands.
void TestLongRuns::secretsAndControlsStayOut()
{
    QString base = m_server.url(u"/lr/evil/p^N.htm"_s);
    base.replace(u"http://"_s, u"http://me:secret@"_s);
    const QString files = u"|-n|1:1|-e|.bin|-x|txt|-o|$OUT/out|-r|$OUT/out/hrefs|--journal|"
                          u"$OUT/journal|--archive|$OUT/archive.sqlite|--failed|$OUT/failed.txt"_s;
    const Finished plain = run(u"-a|"_s + base + files);
    QCOMPARE(plain.status, 1); // the 404 was skipped
    const QList<TestHttpRequest> requests = m_server.requests();
    QVERIFY(std::any_of(requests.cbegin(), requests.cend(), [](const TestHttpRequest &request) {
        return request.path.endsWith("/f_1.bin")
            && request.header("authorization") == "Basic " + QByteArray("me:secret").toBase64();
    }));
    // The archive now knows the file: its "known" event names it too.
    const Finished json = run(u"-a|"_s + base
                              + QString(files)
                                    .replace(u"$OUT/out"_s, u"$OUT/other"_s)
                                    .replace(u"$OUT/journal"_s, u"$OUT/other/journal"_s)
                                    .replace(u"$OUT/failed"_s, u"$OUT/other/failed"_s)
                              + u"|--json"_s);
    QVERIFY2(json.status == 0 || json.status == 1, qPrintable(json.errors));

    QVERIFY2(plain.errors.contains(u"HTTP 404 Not Found\\x1b]0;owned\\x07\\x1b[31m"_s),
             qPrintable(plain.errors));
    for (const Finished &finished : {plain, json}) {
        const QString printed = finished.messages.join(u'\n') + finished.errors;
        QVERIFY2(!printed.contains(u"secret"_s), qPrintable(printed));
        QVERIFY(!printed.contains(u'\x1b') && !printed.contains(u'\x07'));
    }
    for (const char *name : {"journal", "archive.sqlite", "failed.txt"}) {
        const QString path = m_out->filePath(QString::fromLatin1(name));
        QVERIFY2(!ReadAll(path).isEmpty() && !ReadAll(path).contains("secret"), name);
        QCOMPARE(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
    }
}

QTEST_GUILESS_MAIN(TestLongRuns)
#include "tst_longruns.moc"
