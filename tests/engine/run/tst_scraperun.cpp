#include "runfakes.h"

#include <QDir>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

// The run's sequence: pages in order, the page wait and its endings, Stop, the error
// prompt for page failures, the log and re-entrant Go.
class TestScrapeRun : public QObject
{
    Q_OBJECT

private slots:
    void pageOrder_data();
    void pageOrder();
    void addressShownNavigatedAndLogged();
    void stopDuringPageWait();
    void pageFailure_data();
    void pageFailure();
    void redirectIsTaken();
    void markupOfEarlierDocumentIgnored();
    void invalidTimeOutPrompts_data();
    void invalidTimeOutPrompts();
    void refusedRunLeavesWindowAlone();
    void logCap_data();
    void logCap();
    void goWhileUnwindingDoesNotNest_data();
    void goWhileUnwindingDoesNotNest();
    void stopWhileAskedEndsBeforeNextPage();
    void failedPageKeepsNoEarlierMarkup();
    void fetchesAheadStayWithinTransferLimit_data();
    void fetchesAheadStayWithinTransferLimit();
    void stopEndsAPagesWaitForItsHost();
    void pageTriedAgainAsTheScheduleAllows_data();
    void pageTriedAgainAsTheScheduleAllows();
    void ledgerFaultEndsTheRunAtTheNextCheckPoint_data();
    void ledgerFaultEndsTheRunAtTheNextCheckPoint();
    void theNextThreePagesLoadAhead();
    void aLinkKnownInItsTurnDropsItsDownloadAhead();
};

namespace {

// A ledger of every page and link, with an archive of the files this run saves, that cannot
// keep its record from one call on: the verdict on an address, the start of a page, or a saved
// file.
struct FakeLedger final : RunLedger, RunObserver
{
    QString faultAt; // "verdict <address>", "page", "saved <address>"
    bool faulted = false;
    QSet<QString> archived;

    void Tell(const QString &what) { faulted = faulted || what == faultAt; }
    bool VisitsPage(qint64) const override { return true; }
    Verdict LinkVerdict(qint64, const QString &address, const QString &) const override
    {
        const_cast<FakeLedger *>(this)->Tell(u"verdict "_s + address);
        return archived.contains(address) ? Verdict::Known : Verdict::New;
    }
    bool EnoughKnown(bool) override { return false; }
    bool Faulted() const override { return faulted; }
    void PageStarted(qint64, const QString &) override { Tell(u"page"_s); }
    void FileSaved(const QString &address, const QString &, qint64) override
    {
        Tell(u"saved "_s + address);
        archived.insert(address);
    }
    void PageLoaded(const QString &) override {}
    void LinksKept(const QString &, qsizetype, qsizetype) override {}
    void FileExists(const QString &) override {}
    void LinkKnown(const QString &, const QString &) override {}
    void SavingFile(const QString &, const QString &, const QString &) override {}
    void LinkDone(const QString &, const QString &) override {}
    void Failed(int, const QString &, const QString &) override {}
    void PageHandled(qint64, std::int32_t) override {}
};

} // namespace

void TestScrapeRun::pageOrder_data()
{
    // Counter fields as "start stop increment"; pages as the text between "p" and ".htm".
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("numbers");
    QTest::addColumn<QStringList>("letters");
    QTest::addColumn<QStringList>("expected");
    const auto row = [](const char *name, const QString &address, const QString &numbers,
                        const QString &letters, const QString &pages) {
        QStringList expected;
        for (const QString &id : pages.split(u' ', Qt::SkipEmptyParts))
            expected.append(id == u"="_s ? address : u"http://h/p"_s + id + u".htm"_s);
        QTest::newRow(name) << address << numbers.split(u' ') << letters.split(u' ') << expected;
    };
    const QString az = u"z y x w v u t s r q p o n m l k j i h g f e d c b a"_s;

    row("no wildcards", u"http://h/index.htm"_s, u"1 1 1"_s, u"a a 1"_s, u"="_s);
    row("numbers", u"http://h/p^N.htm"_s, u"1 3 1"_s, u"a a 1"_s, u"1 2 3"_s);
    row("letters outside numbers", u"http://h/p^N^L.htm"_s, u"1 2 1"_s, u"a b 1"_s,
        u"1a 2a 1b 2b"_s);
    row("negative number step", u"http://h/p^N.htm"_s, u"10 1 -3"_s, u"a a 1"_s, u"10 7 4 1"_s);
    row("small letters", u"http://h/p^L.htm"_s, u"1 1 1"_s, u"a c 1"_s, u"a b c"_s);
    row("capitals", u"http://h/p^L.htm"_s, u"1 1 1"_s, u"A C 1"_s, u"A B C"_s);
    row("letters down", u"http://h/p^L.htm"_s, u"1 1 1"_s, u"z a -1"_s, az);
    row("half letter step", u"http://h/p^L.htm"_s, u"1 1 1"_s, u"a c 0.5"_s, u"a B b C c"_s);
    row("start not a letter", u"http://h/p^L.htm"_s, u"1 1 1"_s, u"1 c 1"_s, u"A B C"_s);
    row("leading zero", u"http://h/p^N.htm"_s, u"01 01 1"_s, u"a a 1"_s, u"1"_s);
    row("half number step", u"http://h/p^N.htm"_s, u"1 2 0.5"_s, u"a a 1"_s, u"1 1.5 2"_s);
    row("first after last", u"http://h/p^N.htm"_s, u"3 1 1"_s, u"a a 1"_s, QString());
    row("lower-case carets are text", u"http://h/p^n^l.htm"_s, u"1 1 1"_s, u"a a 1"_s, u"="_s);
    QTest::newRow("spaces trimmed, tab kept")
        << u"  http://h/p^N.htm\t "_s << QStringList{u"1"_s, u"1"_s, u"1"_s}
        << QStringList{u"a"_s, u"a"_s, u"1"_s} << QStringList{u"http://h/p1.htm\t"_s};
}

void TestScrapeRun::pageOrder()
{
    QFETCH(QString, address);
    QFETCH(QStringList, numbers);
    QFETCH(QStringList, letters);
    QFETCH(QStringList, expected);

    RunRig rig;
    rig.job.f.address = address;
    rig.job.f.startNum = numbers[0];
    rig.job.f.stopNum = numbers[1];
    rig.job.f.incrementNumerically = numbers[2];
    rig.job.f.startAlpha = letters[0];
    rig.job.f.stopAlpha = letters[1];
    rig.job.f.incrementAlphabetically = letters[2];
    rig.view.log = QStringList{u"line of an earlier run"_s};

    rig.run->Go();

    QCOMPARE(rig.browser.navigated, expected);
    const QStringList messages = rig.view.messages();
    QCOMPARE(messages.size(), 1 + 3 * expected.size()); // the earlier log is gone
    QCOMPARE(messages.last(), u"Done.  Items downloaded: 0."_s);
    QVERIFY(rig.prompt.texts.isEmpty());
    QVERIFY(rig.view.idle());
    QCOMPARE(rig.view.statusPageShown, 1);
}

void TestScrapeRun::addressShownNavigatedAndLogged()
{
    RunRig rig;
    rig.job.f.address = u"http://h/a b.asp?x=^N&y=2"_s;
    const QString navigated = u"http://h/a%20b.asp?x=1&y=2"_s;

    rig.run->Go();

    QCOMPARE(rig.browser.navigated, QStringList{navigated});
    QCOMPARE(rig.view.statusTexts.value(0), u"Downloading source code: http://h/a b.asp?x=1&y=2"_s);
    // "Loading:" while waiting, then the handler's location once the page is in.
    QCOMPARE(
        rig.view.captions,
        (QStringList{u"Loading: http://h/a%20b.asp?x=1&&y=2"_s, u"http://h/a%20b.asp?x=1&&y=2"_s}));
    QCOMPARE(rig.view.messages().value(0),
             u"Source code has been downloaded: "_s + navigated + u'.');
    QCOMPARE(rig.view.source, u"<html></html>"_s);
    QCOMPARE(rig.view.statusTexts.last(), u"Parsing source code: 100%"_s);
}

void TestScrapeRun::stopDuringPageWait()
{
    RunRig rig;
    rig.browser.answerUnknown = false; // the page never arrives
    rig.job.f.timeOut = u"3600"_s;
    QSignalSpy ended(rig.run.get(), &ScrapeRun::RunEnded);
    QTimer::singleShot(0, rig.run.get(), [&rig] {
        QVERIFY(rig.run->IsRunning());
        QVERIFY(rig.view.busy && rig.view.stopEnabled && !rig.view.goEnabled);
        rig.run->Stop();
    });

    rig.run->Go();

    QCOMPARE(rig.view.messages(), QStringList{u"Action has been cancelled!"_s});
    QVERIFY(rig.view.idle());
    QVERIFY(rig.run->CancelRequested());
    QCOMPARE(ended.size(), 1);
    QVERIFY(rig.prompt.texts.isEmpty());
}

void TestScrapeRun::pageFailure_data()
{
    QTest::addColumn<bool>("hangs"); // never answers (time-out) instead of failing
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("prompt");

    const QString timedOut = ErrorText(
        1002, u"The page did not load within 1 seconds: http://h/d/p1.htm"_s);
    const QString failed = ErrorText(1001, u"The page could not be loaded: http://h/d/p1.htm"_s);
    QTest::newRow("time-out, Yes") << true << true << timedOut;
    QTest::newRow("time-out, No") << true << false << timedOut;
    QTest::newRow("load failed, Yes") << false << true << failed;
    QTest::newRow("load failed, No") << false << false << failed;
}

void TestScrapeRun::pageFailure()
{
    QFETCH(bool, hangs);
    QFETCH(bool, answer);
    QFETCH(QString, prompt);

    RunRig rig;
    rig.job.f.stopNum = u"2"_s;
    rig.job.f.timeOut = u"1"_s;
    if (hangs)
        rig.browser.answerUnknown = false;
    else
        rig.browser.pages[u"http://h/d/p1.htm"_s] = FakePage{
            LoadResult::Failed, {}, u"<a href=\"lost.zip\">error page</a>"_s};
    rig.browser.pages[u"http://h/d/p2.htm"_s] = FakePage{};
    rig.prompt.answers = {answer};

    rig.run->Go();

    QCOMPARE(rig.prompt.texts, QStringList{prompt});
    QVERIFY(rig.view.idle());
    if (answer) {
        // The failed page adds no links; the run goes on with the next page.
        QCOMPARE(rig.browser.navigated.size(), 2);
        QCOMPARE(rig.view.messages(),
                 (QStringList{u"Source code has been downloaded: http://h/d/p2.htm."_s,
                              u"Source code has been parsed: 0 total links."_s,
                              u"Filters have been applied: 0 relevant links."_s,
                              u"Done.  Items downloaded: 0."_s}));
    } else {
        QCOMPARE(rig.browser.navigated.size(), 1);
        QVERIFY(rig.view.messages().isEmpty());
    }
}

void TestScrapeRun::redirectIsTaken()
{
    RunRig rig;
    const QString markup = u"<a href=\"x.zip\">x</a><img src=\"y.gif\">"_s;
    rig.browser.pages[u"http://h/d/p1.htm"_s] = FakePage{LoadResult::Succeeded,
                                                         u"http://h/moved/p1.htm"_s, markup};

    rig.run->Go();

    QCOMPARE(rig.view.source, markup);
    QCOMPARE(rig.run->PageMarkup(), markup);
    QCOMPARE(rig.view.captions.last(), u"http://h/moved/p1.htm"_s);
    QCOMPARE(rig.view.codeList, (QStringList{u"x.zip"_s, u"y.gif"_s}));
    QCOMPARE(rig.view.messages().mid(0, 3),
             (QStringList{u"Source code has been downloaded: http://h/d/p1.htm."_s,
                          u"Source code has been parsed: 2 total links."_s,
                          u"Filters have been applied: 2 relevant links."_s}));
    QVERIFY(rig.prompt.texts.isEmpty());
}

// A document that finished loading before the navigation may answer its markup request
// after it, while the location already shows the new address: that markup is not the
// new page's.
void TestScrapeRun::markupOfEarlierDocumentIgnored()
{
    RunRig rig;
    rig.browser.holdMarkup = true;
    rig.browser.markup = u"<a href=\"old.zip\">earlier document</a>"_s;
    rig.run->LoadEnded(LoadResult::Succeeded);
    QCOMPARE(rig.browser.held.size(), 1);
    rig.browser.holdMarkup = false;
    const QString fresh = u"<a href=\"new.zip\">the page</a>"_s;
    rig.browser.pages[u"http://h/d/p1.htm"_s] = FakePage{LoadResult::Succeeded, {}, fresh};
    rig.browser.onNavigate = [&rig](const QString &address) {
        rig.browser.location = address;
        const auto deliver = rig.browser.held.takeFirst();
        deliver(u"<a href=\"old.zip\">earlier document</a>"_s);
    };

    rig.run->Go();

    QVERIFY(rig.browser.held.isEmpty());
    QCOMPARE(rig.view.source, fresh);
    QCOMPARE(rig.view.codeList, QStringList{u"new.zip"_s});
}

void TestScrapeRun::invalidTimeOutPrompts_data()
{
    QTest::addColumn<QString>("timeOut");
    QTest::newRow("zero") << u"0"_s;
    QTest::newRow("negative") << u"-5"_s;
    QTest::newRow("beyond 32 bits") << u"3000000000"_s;
    QTest::newRow("not a number") << u"soon"_s;
}

void TestScrapeRun::invalidTimeOutPrompts()
{
    QFETCH(QString, timeOut);

    RunRig rig;
    rig.job.f.timeOut = timeOut;

    rig.run->Go();

    // Once for the letter, once for the number; Yes keeps the run going.
    const QString text = ErrorText(
        13,
        u"Type mismatch: the time-out \"%1\" is not a number of seconds from 1 to 2147483647."_s
            .arg(timeOut));
    QCOMPARE(rig.prompt.texts, (QStringList{text, text}));
    QVERIFY(rig.transfer.timeouts.isEmpty());
    QCOMPARE(rig.view.messages().last(), u"Done.  Items downloaded: 0."_s);
}

void TestScrapeRun::refusedRunLeavesWindowAlone()
{
    RunRig rig;
    rig.refuse = true;
    rig.view.log = QStringList{u"previous"_s};

    rig.run->Go();

    QCOMPARE(rig.view.log, QStringList{u"previous"_s});
    QVERIFY(rig.browser.navigated.isEmpty());
    QVERIFY(rig.view.idle());
    QCOMPARE(rig.view.statusPageShown, 0);
}

void TestScrapeRun::logCap_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("kept");
    QTest::newRow("full log kept") << ScrapeRun::kMaxLogLines << ScrapeRun::kMaxLogLines;
    QTest::newRow("one more clears") << ScrapeRun::kMaxLogLines + 1 << 1;
}

void TestScrapeRun::logCap()
{
    QFETCH(int, lines);
    QFETCH(int, kept);

    RunRig rig;
    for (int i = 1; i <= lines; ++i)
        rig.run->AddToLog(QString::number(i));

    QCOMPARE(rig.view.log.size(), kept);
    QCOMPARE(rig.view.log.last(), kTime + u" -> "_s + QString::number(lines));
}

// Stop, then Go, pressed while the run sits inside a download: the new run must not
// start inside the old one, and must start once the old one has returned; unless the
// window closes meanwhile.
void TestScrapeRun::goWhileUnwindingDoesNotNest_data()
{
    QTest::addColumn<bool>("closes");
    QTest::newRow("queued run starts") << false;
    QTest::newRow("window closes: queued run never starts") << true;
}

void TestScrapeRun::goWhileUnwindingDoesNotNest()
{
    QFETCH(bool, closes);
    RunRig rig;
    const QString link = u"http://h/d/x.zip"_s;
    rig.browser.pages[u"http://h/d/p1.htm"_s] = FakePage{
        LoadResult::Succeeded, {}, u"<a href=\"x.zip\">x</a>"_s};
    rig.job.f.saveLinks = 1;
    rig.job.f.overwrite = 1;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    rig.job.f.saveLinksFolder = dir.path();
    rig.transfer.hangCount = 1;
    rig.transfer.whileOpen = [&rig, closes] {
        rig.run->Stop();
        rig.run->Go();
        if (closes)
            rig.run->Close();
    };
    QStringList firstRunLog;
    int runsEnded = 0;
    QObject::connect(rig.run.get(), &ScrapeRun::RunEnded, rig.run.get(), [&] {
        if (++runsEnded == 1)
            firstRunLog = rig.view.messages();
    });

    rig.run->Go();

    QCOMPARE(runsEnded, 1);
    QCOMPARE(rig.transfer.maxDepth, 1);
    QCOMPARE(rig.transfer.cancels, closes ? 2 : 1); // Close stops again
    QVERIFY(rig.prompt.texts.isEmpty());            // a cancelled download is a Stop, not a failure
    QCOMPARE(firstRunLog.last(), u"Action has been cancelled!"_s);
    QVERIFY(!firstRunLog.contains(u"Done.  Items downloaded: 0."_s));

    if (closes) {
        // A queued run would start from the next turn of the event loop.
        for (int turn = 0; turn < 5; ++turn)
            QCoreApplication::processEvents();
        QCOMPARE(runsEnded, 1);
        QCOMPARE(rig.transfer.requested, QStringList{link});
        QCOMPARE(rig.view.messages(), firstRunLog);
        QVERIFY(rig.view.idle());
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(runsEnded, 2, 5000);
    QCOMPARE(rig.transfer.maxDepth, 1);
    QCOMPARE(rig.transfer.requested, (QStringList{link, link}));
    QCOMPARE(rig.view.messages().last(), u"Done.  Items downloaded: 1."_s);
    QVERIFY(rig.view.idle());
}

// Stop pressed while the "Error" question of a page's last link is open, answered Yes:
// the run ends before it loads another page.
void TestScrapeRun::stopWhileAskedEndsBeforeNextPage()
{
    RunRig rig;
    rig.job.f.stopNum = u"2"_s;
    rig.browser.pages[u"http://h/d/p1.htm"_s] = FakePage{
        LoadResult::Succeeded, {}, u"<a href=\"bad.zip\">x</a>"_s};
    rig.job.f.saveLinks = 1;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    rig.job.f.saveLinksFolder = dir.path();
    rig.transfer.results[u"http://h/d/bad.zip"_s] = Transfer::Result{
        false, {}, 404, u"Not Found"_s};
    rig.prompt.whileAsking = [&rig] { rig.run->Stop(); };

    rig.run->Go();

    QCOMPARE(rig.prompt.texts.size(), 1);
    QCOMPARE(rig.view.messages(),
             (QStringList{u"Source code has been downloaded: http://h/d/p1.htm."_s,
                          u"Source code has been parsed: 1 total links."_s,
                          u"Filters have been applied: 1 relevant links."_s,
                          u"Action has been cancelled!"_s}));
    QVERIFY(rig.view.idle());
    // Page 2 is not begun either: its status line would stand after the run's end.
    QCOMPARE(rig.view.statusTexts.filter(u"p2.htm"_s), QStringList());
}

// Regression guard: a page that never arrives must not leave the page before's markup as
// its own.
void TestScrapeRun::failedPageKeepsNoEarlierMarkup()
{
    RunRig rig;
    rig.job.f.stopNum = u"2"_s;
    rig.job.f.timeOut = u"1"_s;
    rig.browser.answerUnknown = false;
    rig.browser.pages[u"http://h/d/p1.htm"_s] = FakePage{
        LoadResult::Succeeded, {}, u"<a href=\"first.zip\">x</a>"_s};

    rig.run->Go();

    QCOMPARE(rig.prompt.texts.size(), 1); // page 2 timed out, Yes
    QCOMPARE(rig.run->PageMarkup(), QString());
    QCOMPARE(rig.view.messages().last(), u"Done.  Items downloaded: 1."_s);
}

// A page's links, and the next page's once this page's are all on their way, are fetched
// ahead as far as the transfer runs them at once, never further.
void TestScrapeRun::fetchesAheadStayWithinTransferLimit_data()
{
    QTest::addColumn<int>("firstPage");  // links on page 1
    QTest::addColumn<int>("secondPage"); // links on page 2, loaded ahead; 0: no page 2
    QTest::newRow("one page of three times the limit") << 3 * Transfer::MaxParallel << 0;
    // Page 2 alone stays below the limit: reaching it takes page 1's links with page 2's.
    QTest::newRow("the next page's first links with this page's last")
        << 2 << Transfer::MaxParallel - 1;
}

void TestScrapeRun::fetchesAheadStayWithinTransferLimit()
{
    QFETCH(int, firstPage);
    QFETCH(int, secondPage);
    RunRig rig;
    for (int page = 1; page <= (secondPage > 0 ? 2 : 1); ++page) {
        QString markup;
        for (int i = 0; i < (page == 1 ? firstPage : secondPage); ++i)
            markup += u"<a href=\"p%1_%2.zip\">x</a>"_s.arg(page).arg(i);
        rig.browser.pages[u"http://h/d/p%1.htm"_s.arg(page)] = FakePage{
            LoadResult::Succeeded, {}, markup};
    }
    rig.browser.loadsAhead = secondPage > 0;
    rig.job.f.stopNum = secondPage > 0 ? u"2"_s : u"1"_s;
    rig.job.f.saveLinks = 1;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    rig.job.f.saveLinksFolder = dir.path();

    rig.run->Go();

    QCOMPARE(rig.transfer.maxOutstanding, Transfer::MaxParallel);
    QCOMPARE(rig.transfer.outstanding, 0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), firstPage + secondPage);
    QCOMPARE(rig.run->ItemsDownloaded(), firstPage + secondPage);
}

// A page waits for its host's turn (a delay between one host's requests); Stop ends the wait.
void TestScrapeRun::stopEndsAPagesWaitForItsHost()
{
    RunRig rig;
    rig.transfer.turns = {20, 3600000};
    // Later than the events the run handles before its first page.
    QTimer::singleShot(100, rig.run.get(), [&rig] { rig.run->Stop(); });

    rig.run->Go();

    QVERIFY(rig.transfer.turns.isEmpty());
    QCOMPARE(rig.browser.navigated, QStringList{});
    QCOMPARE(rig.view.messages(), QStringList{u"Action has been cancelled!"_s});
}

// A page whose load may pass goes again as often as the schedule allows, counting its tries from
// the first; one that will not pass is asked about at once.
void TestScrapeRun::pageTriedAgainAsTheScheduleAllows_data()
{
    QTest::addColumn<bool>("hangs"); // never answers (time-out) instead of failing
    QTest::addColumn<TryAgain>("trouble");
    QTest::addColumn<int>("retries");
    QTest::addColumn<QList<int>>("retriedAfter");
    QTest::addColumn<int>("code");
    QTest::newRow("a dropped connection, two retries")
        << false << TryAgain::Later << 2 << QList<int>{0, 1} << 1001;
    QTest::newRow("a busy server, one retry")
        << false << TryAgain::HostLater << 1 << QList<int>{0} << 1001;
    QTest::newRow("no retries") << false << TryAgain::Later << 0 << QList<int>{} << 1001;
    QTest::newRow("a 404 is not tried again")
        << false << TryAgain::Never << 2 << QList<int>{} << 1001;
    QTest::newRow("a time-out, one retry") << true << TryAgain::Never << 1 << QList<int>{0} << 1002;
}

void TestScrapeRun::pageTriedAgainAsTheScheduleAllows()
{
    QFETCH(bool, hangs);
    QFETCH(TryAgain, trouble);
    QFETCH(int, retries);
    QFETCH(QList<int>, retriedAfter);
    QFETCH(int, code);
    RunRig rig;
    rig.job.f.timeOut = u"1"_s;
    if (hangs)
        rig.browser.answerUnknown = false;
    else
        rig.browser.pages[u"http://h/d/p1.htm"_s] = FakePage{LoadResult::Failed, {}, {}};
    rig.browser.trouble = trouble;
    rig.transfer.retries = retries;

    rig.run->Go();

    QCOMPARE(rig.browser.navigated.size(), retriedAfter.size() + 1);
    QCOMPARE(rig.transfer.retriedAfter, retriedAfter);
    QCOMPARE(rig.prompt.texts.size(), 1);
    QVERIFY(rig.prompt.texts.constFirst().contains(u"\r\nError: %1\r\n"_s.arg(code)));
}

// A ledger that can no longer keep its record ends the run as Stop does, at the run's next check
// point: whatever it was asked or told then is not followed by a file or a record it missed.
void TestScrapeRun::ledgerFaultEndsTheRunAtTheNextCheckPoint_data()
{
    QTest::addColumn<QString>("first"); // the first link; the second is b.zip
    QTest::addColumn<QString>("faultAt");
    QTest::addColumn<int>("saveLinks");
    QTest::addColumn<QStringList>("saved"); // files in the download folder afterwards
    QTest::addColumn<QStringList>("lastLines");
    const QString cancelled = u"Action has been cancelled!"_s;
    const QString filtered = u"Filters have been applied: 2 relevant links."_s;
    const QString a = u"a.zip"_s;
    QTest::newRow("the start of a page")
        << a << u"page"_s << 1 << QStringList() << QStringList{cancelled};
    QTest::newRow("a verdict asked ahead of its link's turn")
        << a << u"verdict http://h/d/b.zip"_s << 1 << QStringList()
        << QStringList{filtered, cancelled};
    // The first link's own step would ask about its name, too long for a file.
    QTest::newRow("a verdict asked ahead, before a failing step of this link")
        << QString(40000, u'n') << u"verdict http://h/d/b.zip"_s << 1 << QStringList()
        << QStringList{filtered, cancelled};
    QTest::newRow("a verdict in its link's turn")
        << a << u"verdict http://h/d/a.zip"_s << 0 << QStringList()
        << QStringList{filtered, cancelled};
    QTest::newRow("a saved file") << a << u"saved http://h/d/a.zip"_s << 1 << QStringList{a}
                                  << QStringList{u"Download complete: a.zip."_s, cancelled};
}

void TestScrapeRun::ledgerFaultEndsTheRunAtTheNextCheckPoint()
{
    QFETCH(QString, first);
    QFETCH(QString, faultAt);
    QFETCH(int, saveLinks);
    QFETCH(QStringList, saved);
    QFETCH(QStringList, lastLines);
    FakeLedger ledger;
    ledger.faultAt = faultAt;
    RunRig rig(0, &ledger, {&ledger});
    rig.browser.pages[u"http://h/d/p1.htm"_s] = FakePage{
        LoadResult::Succeeded, {}, u"<a href=\"%1\">a</a><a href=\"b.zip\">b</a>"_s.arg(first)};
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    rig.job.f.saveLinks = saveLinks;
    rig.job.f.saveLinksFolder = dir.path();

    rig.run->Go();

    QVERIFY(ledger.faulted);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), saved);
    QStringList messages = rig.view.messages();
    messages.replaceInStrings(dir.path() + u'/', QString());
    QCOMPARE(messages.mid(messages.size() - lastLines.size()), lastLines);
    QVERIFY(rig.prompt.texts.isEmpty());
    QCOMPARE(rig.transfer.outstanding, 0);
}

// Once a page has loaded, the next three of the series load out of sight, each shown in its turn.
void TestScrapeRun::theNextThreePagesLoadAhead()
{
    RunRig rig;
    rig.browser.loadsAhead = true;
    rig.job.f.stopNum = u"6"_s;

    rig.run->Go();

    QStringList pages;
    for (int n = 1; n <= 6; ++n)
        pages.append(u"http://h/d/p%1.htm"_s.arg(n));
    QCOMPARE(rig.browser.navigated, pages);
    QCOMPARE(rig.browser.lastAhead, 5u);
    QCOMPARE(rig.browser.mostAhead, 3);
}

// A page that links one file twice, overwriting: both start downloading ahead, and the second is
// known from the archive by its turn, once the first is saved. Its download ends there.
void TestScrapeRun::aLinkKnownInItsTurnDropsItsDownloadAhead()
{
    FakeLedger ledger;
    RunRig rig(0, &ledger, {&ledger});
    rig.browser.pages[u"http://h/d/p1.htm"_s] = FakePage{
        LoadResult::Succeeded, {}, u"<a href=\"a.zip\">a</a><a href=\"a.zip\">again</a>"_s};
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    rig.job.f.saveLinks = 1;
    rig.job.f.overwrite = 1;
    rig.job.f.saveLinksFolder = dir.path();
    QList<int> inFlight;
    rig.view.onLine = [&](const QString &line) {
        if (line.contains(u"Already in the archive"_s))
            inFlight.append(rig.transfer.outstanding);
    };

    rig.run->Go();

    QCOMPARE(rig.transfer.maxOutstanding, 2);
    QCOMPARE(inFlight, QList<int>{0});
    QCOMPARE(rig.run->ItemsDownloaded(), 1);
}

QTEST_GUILESS_MAIN(TestScrapeRun)
#include "tst_scraperun.moc"
