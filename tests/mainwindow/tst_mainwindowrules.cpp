#include "criteriaedit.h"
#include "helprules.h"

#include <QTest>

#include <optional>

using criteriaedit::AddDecision;

Q_DECLARE_METATYPE(std::optional<QString>)

class tst_MainWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void decideAdd_data();
    void decideAdd();
    void showHelpAtStart_data();
    void showHelpAtStart();
    void closeMessage_data();
    void closeMessage();
    void helpStartPage_data();
    void helpStartPage();
};

void tst_MainWindowRules::decideAdd_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<AddDecision>("expected");

    const QStringList gif{QStringLiteral("gif")};
    QTest::newRow("new entry") << gif << QStringLiteral("jpg") << AddDecision::Append;
    QTest::newRow("other case is new") << gif << QStringLiteral("GIF") << AddDecision::Append;
    QTest::newRow("blanks around make it new")
        << gif << QStringLiteral(" gif ") << AddDecision::Append;
    QTest::newRow("a tab is not trimmed") << gif << QStringLiteral("\t") << AddDecision::Append;
    QTest::newRow("duplicate before empty")
        << QStringList{QStringLiteral("  ")} << QStringLiteral("  ") << AddDecision::Duplicate;
}

void tst_MainWindowRules::decideAdd()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, entry);
    QFETCH(AddDecision, expected);
    QCOMPARE(criteriaedit::DecideAdd(entries, entry), expected);
}

void tst_MainWindowRules::showHelpAtStart_data()
{
    QTest::addColumn<std::optional<QString>>("stored");
    QTest::addColumn<bool>("expected");

    QTest::newRow("absent") << std::optional<QString>() << true;
    QTest::newRow("written by the program")
        << std::optional<QString>(QStringLiteral("False")) << false;
    QTest::newRow("small letters") << std::optional<QString>(QStringLiteral("false")) << false;
    QTest::newRow("zero") << std::optional<QString>(QStringLiteral("0")) << false;
    QTest::newRow("True") << std::optional<QString>(QStringLiteral("True")) << true;
    QTest::newRow("minus one") << std::optional<QString>(QStringLiteral("-1")) << true;
    QTest::newRow("empty text") << std::optional<QString>(QString()) << true;
    QTest::newRow("hand-edited nonsense")
        << std::optional<QString>(QStringLiteral("maybe")) << true;
}

void tst_MainWindowRules::showHelpAtStart()
{
    QFETCH(std::optional<QString>, stored);
    QFETCH(bool, expected);
    QCOMPARE(helprules::ShowHelpAtStart(stored), expected);
}

void tst_MainWindowRules::closeMessage_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("closes");

    QTest::newRow("anchor") << QStringLiteral("file:///opt/lh/Help/default.htm#CloseWindow")
                            << true;
    QTest::newRow("page name") << QStringLiteral("file:///opt/lh/Help/CloseWindow") << true;
    QTest::newRow("other case") << QStringLiteral("file:///opt/lh/Help/default.htm#closewindow")
                                << false;
    QTest::newRow("not at the end")
        << QStringLiteral("file:///opt/lh/Help/CloseWindow.htm") << false;
    QTest::newRow("just the word") << QStringLiteral("CloseWindow") << true;
    QTest::newRow("shorter than the word") << QStringLiteral("Window") << false;
}

void tst_MainWindowRules::closeMessage()
{
    QFETCH(QString, location);
    QFETCH(bool, closes);
    QCOMPARE(helprules::IsCloseMessage(location), closes);
}

void tst_MainWindowRules::helpStartPage_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ordinary folder") << QStringLiteral("/opt/linkhauler")
                                     << QStringLiteral("file:///opt/linkhauler/Help/default.htm");
    QTest::newRow("root folder, no doubled separator")
        << QStringLiteral("/") << QStringLiteral("file:///Help/default.htm");
    QTest::newRow("blank in the folder")
        << QStringLiteral("/opt/link hauler")
        << QStringLiteral("file:///opt/link hauler/Help/default.htm");
}

void tst_MainWindowRules::helpStartPage()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(helprules::HelpStartPage(folder), expected);
}

QTEST_APPLESS_MAIN(tst_MainWindowRules)
#include "tst_mainwindowrules.moc"
