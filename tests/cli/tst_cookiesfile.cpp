// The Netscape cookies file as linkhauler-run reads it for --cookies and writes it for
// --save-cookies: hostile input, bounded and checked line by line.
#include "cookiesfile.h"
#include "posixfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kNow = 1'700'000'000;

// "domain sub path secure expires name=value [httponly] @line"
QStringList Described(const QList<cookiesfile::Cookie> &cookies)
{
    QStringList out;
    for (const cookiesfile::Cookie &c : cookies)
        out.append(u"%1 %2 %3 %4 %5 %6=%7%8 @%9"_s.arg(
            QString::fromUtf8(c.domain), c.subdomains ? u"sub"_s : u"host"_s,
            QString::fromUtf8(c.path), c.secure ? u"secure"_s : u"any"_s,
            QString::number(c.expires), QString::fromUtf8(c.name), QString::fromUtf8(c.value),
            c.httpOnly ? u" httponly"_s : QString(), QString::number(c.line)));
    return out;
}

} // namespace

class TestCookiesFile final : public QObject
{
    Q_OBJECT

private slots:
    void parses_data();
    void parses();
    void readsOnlyARegularFileOfBoundedSize();
    void writesThroughARename_data();
    void writesThroughARename();
};

void TestCookiesFile::parses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("cookies");
    QTest::addColumn<QString>("error"); // empty: accepted

    QTest::newRow("as a browser extension exports it")
        << QByteArray("# Netscape HTTP Cookie File\n# https://curl.se/docs/http-cookies.html\n\n"
                      ".example.com\tTRUE\t/\tTRUE\t1800000000\tid\tabc\n"
                      "shop.example.com\tFALSE\t/cart\tFALSE\t1800000000\tcart\t1 2\n")
        << QStringList{u"example.com sub / secure 1800000000 id=abc @4"_s,
                       u"shop.example.com host /cart any 1800000000 cart=1 2 @5"_s}
        << QString();
    QTest::newRow("#HttpOnly_ marks a cookie, other # lines are comments")
        << QByteArray("#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\ts3cret\n"
                      "#127.0.0.1\tFALSE\t/\tFALSE\t0\tcommented\tout\n")
        << QStringList{u"127.0.0.1 host / any 0 session=s3cret httponly @1"_s} << QString();
    QTest::newRow("expiry 0 is a session cookie, a past one is left out")
        << QByteArray("h\tFALSE\t/\tFALSE\t0\tsession\t1\nh\tFALSE\t/\tFALSE\t1000\told\t2\n")
        << QStringList{u"h host / any 0 session=1 @1"_s} << QString();
    QTest::newRow("line ends of another system, flags in any case, an empty value")
        << QByteArray("h\ttrue\t/\tFalse\t1800000000.5\tflag\t\r\nh\tFALSE\t/\tFALSE\t0\tsix\r\n")
        << QStringList{u"h sub / any 1800000000 flag= @1"_s, u"h host / any 0 six= @2"_s}
        << QString();

    const auto refused = [](const char *name, const QByteArray &text, const QString &error) {
        QTest::newRow(name) << text << QStringList{} << error;
    };
    refused("blanks instead of tabs, named by its line",
            "# comment\nh\tFALSE\t/\tFALSE\t0\ta\t1\nh FALSE / FALSE 0 b 2\n",
            u"line 3 is no cookie: it does not split at tabs into 7 fields"_s);
    refused("a flag that is neither", "h\tYES\t/\tFALSE\t0\ta\t1\n",
            u"line 1 is no cookie: its second field is neither TRUE nor FALSE"_s);
    refused("an expiry that is no number", "h\tFALSE\t/\tFALSE\tsoon\ta\t1\n",
            u"line 1 is no cookie: its expiry is not a number of seconds"_s);
    refused("a value that would end the cookie", "h\tFALSE\t/\tFALSE\t0\ta\t1; Domain=evil\n",
            u"line 1 is no cookie: its value holds ; or a control character"_s);
    refused("a control character in the value", "h\tFALSE\t/\tFALSE\t0\ta\t\x1b[31m\n",
            u"line 1 is no cookie: its value holds ; or a control character"_s);
    refused("a domain that is no host name", "h/../x\tFALSE\t/\tFALSE\t0\ta\t1\n",
            u"line 1 is no cookie: its domain is not a host name"_s);
}

void TestCookiesFile::parses()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, cookies);
    QFETCH(QString, error);
    QList<cookiesfile::Cookie> read;
    const std::optional<QString> refused = cookiesfile::Parse(text, kNow, read);
    if (error.isEmpty()) {
        QVERIFY2(!refused, qPrintable(refused.value_or(QString())));
        QCOMPARE(Described(read), cookies);
    } else {
        QVERIFY(refused);
        QVERIFY2(refused->startsWith(error), qPrintable(*refused));
    }
}

void TestCookiesFile::readsOnlyARegularFileOfBoundedSize()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QList<cookiesfile::Cookie> cookies;
    // A named pipe without a writer would hold the program for ever.
    const QString pipe = dir.filePath(u"pipe"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString &path : {pipe, dir.path()})
        QCOMPARE(cookiesfile::Read(path, kNow, cookies).value_or(QString()),
                 u"The --cookies file \"%1\" is not a regular file."_s.arg(path));
    QFile big(dir.filePath(u"big.txt"_s));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(cookiesfile::kMostBytes + 1));
    big.close();
    QCOMPARE(cookiesfile::Read(big.fileName(), kNow, cookies).value_or(QString()),
             u"The --cookies file \"%1\" is larger than 8 MiB."_s.arg(big.fileName()));
    QVERIFY(cookies.isEmpty()); // A file of just the bound is read whole.
    QVERIFY(big.open(QIODevice::WriteOnly) && big.write("0123456789") == 10);
    big.close();
    QString why;
    QCOMPARE(posixfile::ReadRegular(big.fileName(), 10, why).value_or(QByteArray()),
             QByteArray("0123456789"));
}

void TestCookiesFile::writesThroughARename_data()
{
    QTest::addColumn<QString>("standing"); // at the path before: none or a link
    QTest::newRow("a new file") << QString();
    QTest::newRow("a symbolic link, replaced and not followed") << u"link"_s;
}

void TestCookiesFile::writesThroughARename()
{
    QFETCH(QString, standing);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"cookies.txt"_s);
    const QString elsewhere = dir.filePath(u"elsewhere.txt"_s);
    QFile other(elsewhere);
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("untouched\n");
    other.close();
    if (standing == u"link"_s)
        QVERIFY(QFile::link(elsewhere, path));

    const QByteArray line = "#HttpOnly_h\tFALSE\t/\tFALSE\t0\tsession\ts3cret";
    QCOMPARE(cookiesfile::Write(path, {line}), std::nullopt);

    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    QVERIFY(text.startsWith("# Netscape HTTP Cookie File\n"));
    QList<cookiesfile::Cookie> cookies;
    QCOMPARE(cookiesfile::Parse(text, kNow, cookies), std::nullopt);
    QCOMPARE(Described(cookies), QStringList{u"h host / any 0 session=s3cret httponly @4"_s});
    struct stat status = {};
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &status), 0);
    QVERIFY(S_ISREG(status.st_mode));
    QCOMPARE(status.st_mode & 0777, 0600u);
    QFile untouched(elsewhere);
    QVERIFY(untouched.open(QIODevice::ReadOnly));
    QCOMPARE(untouched.readAll(), QByteArray("untouched\n"));
    // Nothing of the way there is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

QTEST_GUILESS_MAIN(TestCookiesFile)
#include "tst_cookiesfile.moc"
