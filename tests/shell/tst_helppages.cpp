#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

// The help pages ship as data; these checks keep their links whole.
class TestHelpPages : public QObject
{
    Q_OBJECT
private slots:
    void pages_data();
    void pages();
};

void TestHelpPages::pages_data()
{
    QTest::addColumn<QString>("path");
    const QDir help(QStringLiteral(LH_HELP_DIR));
    const QStringList pages = help.entryList({u"*.htm"_s}, QDir::Files, QDir::Name);
    QVERIFY(pages.contains(u"default.htm"_s));
    for (const QString &page : pages)
        QTest::newRow(qPrintable(page)) << help.filePath(page);
}

void TestHelpPages::pages()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());

    static const QRegularExpression hrefs(u"(?:href|src)=\"([^\"]*)\""_s);
    int closeLinks = 0;
    int localLinks = 0;
    for (const auto &match : hrefs.globalMatch(html)) {
        const QString link = match.captured(1);
        // The pane closes on a finished load whose address ends so; a bare
        // fragment would not load anything.
        if (link.endsWith(u"CloseWindow"_s)) {
            QVERIFY2(!link.startsWith(u'#'), qPrintable(link));
            ++closeLinks;
        }
        if (link.contains(u"://"_s))
            continue;
        const QString target = link.section(u'?', 0, 0).section(u'#', 0, 0);
        if (target.isEmpty())
            continue;
        ++localLinks;
        QVERIFY2(QFile::exists(QFileInfo(path).dir().filePath(target)), qPrintable(link));
    }
    QVERIFY(closeLinks >= 1);
    QVERIFY(localLinks >= 2); // the style sheet and the contents at least
}

QTEST_APPLESS_MAIN(TestHelpPages)
#include "tst_helppages.moc"
