#include "fakes.h"
#include "frmmain.h"
#include "loglist.h"
#include "scraperun.h"
#include "webbrowser.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWaitMs = 20000;

void StoreShowHelp(const std::optional<QString> &value)
{
    QSettings settings(QStringLiteral("Linkhauler"), QStringLiteral("Linkhauler"));
    settings.beginGroup(QStringLiteral("Settings"));
    if (value)
        settings.setValue(QStringLiteral("ShowHelp"), *value);
    else
        settings.remove(QStringLiteral("ShowHelp"));
    settings.sync();
}

std::optional<QString> StoredShowHelp()
{
    QSettings settings(QStringLiteral("Linkhauler"), QStringLiteral("Linkhauler"));
    settings.beginGroup(QStringLiteral("Settings"));
    const QVariant value = settings.value(QStringLiteral("ShowHelp"));
    return value.isValid() ? std::optional<QString>(value.toString()) : std::nullopt;
}

QStringList Entries(const QListWidget *list)
{
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries.append(list->item(i)->text());
    return entries;
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void initialValues();
    void buttonsShowTheirColours();
    void setupControlsFitTheirContainers();
    void captionsFit();
    void criteriaCommands_data();
    void criteriaCommands();
    void counterInterlocks();
    void saveInterlocks();
    void timeOut_data();
    void timeOut();
    void timeOutTypedBackToLastAccepted();
    void defaultExtensionLosesLeadingDot_data();
    void defaultExtensionLosesLeadingDot();
    void browse_data();
    void browse();
    void shortcutsActInTextField_data();
    void shortcutsActInTextField();
    void exitSkipsCloseStep();
    void closeCancelsRunningTransfer_data();
    void closeCancelsRunningTransfer();
    void layoutOfTheWindow();
    void setupPageNeverMoves();
    void helpPaneToggles();
    void closeWindowMessage_data();
    void closeWindowMessage();
    void firstStartHelpRule_data();
    void firstStartHelpRule();
    void errorCheckRefusals_data();
    void errorCheckRefusals();
    void criteriaQuestion_data();
    void criteriaQuestion();
    void goRunsOnlyAfterErrorCheck();
    void runShowsItsStateAtPromptsAndEnd_data();
    void runShowsItsStateAtPromptsAndEnd();
    void logClearsAtItsLimit();
    void runMethodsReadTheFields();

private:
    template<typename T>
    T *child(const char *name) const
    {
        T *widget = m_window->findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            qWarning("no child %s", name);
        return widget;
    }
    void makeWindow();
    void makeJobValid();

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_pages;
    std::unique_ptr<FakeTransfer> m_inet;
    std::unique_ptr<FakePrompts> m_prompts;
    std::unique_ptr<frmMain> m_window;
    int m_exits = 0;
};

void tst_frmMain::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_settingsDir.isValid());
    QVERIFY(m_pages.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
    QVERIFY(QFile::exists(QCoreApplication::applicationDirPath()
                          + QStringLiteral("/Help/default.htm")));
}

void tst_frmMain::makeWindow()
{
    m_inet = std::make_unique<FakeTransfer>();
    m_prompts = std::make_unique<FakePrompts>();
    m_window = std::make_unique<frmMain>(*m_inet);
    m_window->SetPrompts(m_prompts.get());
    m_window->SetExitProgram([this] { ++m_exits; });
}

void tst_frmMain::init()
{
    // Not a first start, unless a test says otherwise.
    StoreShowHelp(QStringLiteral("False"));
    m_exits = 0;
    makeWindow();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void tst_frmMain::cleanup()
{
    if (m_prompts)
        QVERIFY2(!m_prompts->unexpected, "a box asked for an answer the test did not give");
    m_window.reset();
    m_prompts.reset();
    m_inet.reset();
}

void tst_frmMain::makeJobValid()
{
    child<QLineEdit>("txtDefaultExtension")->setText(QStringLiteral("htm"));
}

void tst_frmMain::initialValues()
{
    frmMain &w = *m_window;
    QCOMPARE(w.objectName(), QStringLiteral("frmMain"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Linkhauler v1.0 BETA"));
    QCOMPARE(w.centralWidget()->size(), QSize(938, 572));
    const QPoint offCentre = w.geometry().center() - w.screen()->availableGeometry().center();
    QVERIFY2(qAbs(offCentre.x()) <= 3 && qAbs(offCentre.y()) <= 3,
             qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));

    // The job as the run reads it.
    QCOMPARE(
        w.txtAddress(),
        QStringLiteral("http://www.example.com/vb/scripts/ShowCode.asp?txtCodeId=^N&lngWId=1"));
    QCOMPARE(w.chkIncNum(), 0);
    QCOMPARE(w.txtStartNum(), QStringLiteral("1"));
    QCOMPARE(w.txtStopNum(), QStringLiteral("1"));
    QCOMPARE(w.txtIncrementNumerically(), QStringLiteral("1"));
    QCOMPARE(w.chkIncAlpha(), 0);
    QCOMPARE(w.txtStartAlpha(), QStringLiteral("a"));
    QCOMPARE(w.txtStopAlpha(), QStringLiteral("a"));
    QCOMPARE(w.txtIncrementAlphabetically(), QStringLiteral("1"));
    QCOMPARE(w.lstBeginning(), QStringList());
    QCOMPARE(w.lstInterior(), QStringList());
    QCOMPARE(w.lstEnd(), QStringList());
    QVERIFY(w.optOr1());
    QVERIFY(w.optOr2());
    QCOMPARE(w.txtTimeOut(), QStringLiteral("60"));
    QCOMPARE(w.txtDefaultExtension(), QString());
    QCOMPARE(w.chkOverwrite(), 0);
    QCOMPARE(w.chkSaveLinks(), 0);
    QCOMPARE(w.txtSaveLinks(), QString());
    QCOMPARE(w.chkSaveHREFs(), 0);
    QVERIFY(!w.optOneHREFPerFile());
    QVERIFY(!child<QRadioButton>("optAllHREFsOneFile")->isChecked());
    QCOMPARE(w.txtSaveHREFs(), QString());
    QCOMPARE(w.CurrentNumber(), 0.0);
    QCOMPARE(Entries(child<QListWidget>("lstPatterns")),
             QStringList({QStringLiteral("gif"), QStringLiteral("jpg"), QStringLiteral("png"),
                          QStringLiteral("bmp"), QStringLiteral("js"), QStringLiteral("css"),
                          QStringLiteral("zip"), QStringLiteral("rar"), QStringLiteral("mpg"),
                          QStringLiteral("mp3"), QStringLiteral("mov"), QStringLiteral("exe")}));

    // Enabled states at start.
    for (const char *name :
         {"txtStartNum", "txtStopNum", "txtIncrementNumerically", "txtStartAlpha", "txtStopAlpha",
          "txtIncrementAlphabetically", "chkOverwrite", "lblDirectory1", "txtSaveLinks",
          "cmdBrowse1", "optOneHREFPerFile", "optAllHREFsOneFile", "lblDirectory2", "txtSaveHREFs",
          "cmdBrowse2", "cmdStop"})
        QVERIFY2(!child<QWidget>(name)->isEnabled(), name);
    for (const char *name : {"txtAddress", "chkIncNum", "chkIncAlpha", "lstBeginning",
                             "lstInterior", "lstEnd", "lstPatterns", "txtTimeOut",
                             "txtDefaultExtension", "chkSaveLinks", "chkSaveHREFs", "cmdGo"})
        QVERIFY2(child<QWidget>(name)->isEnabled(), name);

    auto *tabMain = child<QTabWidget>("tabMain");
    QCOMPARE(tabMain->currentIndex(), 0);
    QCOMPARE(tabMain->tabText(0), QStringLiteral("Setup"));
    QCOMPARE(tabMain->tabText(1), QStringLiteral("Status/View"));
    QCOMPARE(child<QStatusBar>("staMain")->currentMessage(), QStringLiteral("Ready"));
    QVERIFY(child<WebBrowser>("wbHelp")->isHidden());
    QVERIFY(child<QListWidget>("lstCode")->isHidden());
    QVERIFY(child<QPlainTextEdit>("rtfCode")->isReadOnly());
    QCOMPARE(child<QPushButton>("cmdGo")->text(), QStringLiteral("Go!"));
    QCOMPARE(child<QPushButton>("cmdStop")->text(), QStringLiteral("Stop"));

    // The start page of the page browser was asked for (it cannot load in a test).
    QTRY_COMPARE_WITH_TIMEOUT(child<WebBrowser>("Browser")->LocationURL(),
                              QStringLiteral("http://www.example.com/linkhauler/"), kWaitMs);
    // The start-up does not apply the time-out field.
    QVERIFY(m_inet->timeoutsSet.isEmpty());
}

void tst_frmMain::buttonsShowTheirColours()
{
    const struct
    {
        const char *name;
        QColor colour;
    } buttons[] = {{"cmdGo", QColor(0, 255, 0)}, {"cmdStop", QColor(255, 0, 0)}};
    for (const auto &b : buttons) {
        auto *button = child<QPushButton>(b.name);
        const QImage image = button->grab().toImage();
        // Sample away from the caption, inside the border.
        QCOMPARE(image.pixelColor(3, image.height() / 2).rgb(), b.colour.rgb());
    }
}

void tst_frmMain::setupControlsFitTheirContainers()
{
    int checked = 0;
    const auto widgets = child<QWidget>("pageSetup")->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s) || !w->parentWidget())
            continue;
        const QRect inside = w->parentWidget()->rect();
        QVERIFY2(inside.contains(w->geometry()), qPrintable(w->objectName()));
        ++checked;
    }
    QVERIFY(checked > 40);
}

void tst_frmMain::captionsFit()
{
    // Font families may come with their foundry: "Nimbus Sans [urw]".
    const QString family =
        QFontInfo(child<QWidget>("pageSetup")->font()).family().section(u" ["_s, 0, 0);
    if (!QStringList({u"Liberation Sans"_s, u"Arial"_s, u"Nimbus Sans"_s, u"Helvetica"_s})
             .contains(family))
        QSKIP(qPrintable(u"no font of the designed widths is installed: "_s + family));
    int checked = 0;
    for (QWidget *w : m_window->findChildren<QWidget *>()) {
        if (auto *label = qobject_cast<QLabel *>(w); label && !label->text().isEmpty()) {
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text())
                         <= label->contentsRect().width(),
                     qPrintable(label->text()));
            ++checked;
        } else if (auto *button = qobject_cast<QAbstractButton *>(w); button
                   && !button->text().isEmpty()
                   && (qobject_cast<QCheckBox *>(w) || qobject_cast<QRadioButton *>(w))) {
            const bool radio = qobject_cast<QRadioButton *>(w);
            QStyle *style = button->style();
            const int indicator = style->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth
                                                           : QStyle::PM_IndicatorWidth,
                                                     nullptr, button);
            const int spacing = style->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing
                                                         : QStyle::PM_CheckBoxLabelSpacing,
                                                   nullptr, button);
            const int needed = indicator + spacing
                + button->fontMetrics().horizontalAdvance(button->text());
            QVERIFY2(needed <= button->width(), qPrintable(button->text()));
            ++checked;
        }
    }
    QVERIFY2(checked >= 24, qPrintable(QString::number(checked)));
}

void tst_frmMain::criteriaCommands_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("listName"); // list whose entries the row sets up
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("selectRow"); // selected row in listName, -1 none
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("after"); // listName afterwards
    QTest::addColumn<QStringList>("poolAfter");

    const QStringList pool{QStringLiteral("gif"), QStringLiteral("jpg"), QStringLiteral("png"),
                           QStringLiteral("bmp"), QStringLiteral("js"),  QStringLiteral("css"),
                           QStringLiteral("zip"), QStringLiteral("rar"), QStringLiteral("mpg"),
                           QStringLiteral("mp3"), QStringLiteral("mov"), QStringLiteral("exe")};
    const QString addBeginning = QStringLiteral(
        "Input|Add beginning variable|Please enter a beginning string:");
    const QString addInterior = QStringLiteral(
        "Input|Add interior variable|Please enter an interior string:");
    const QString addEnd = QStringLiteral("Input|Add end variable|Please enter an end string:");
    const QString empty = QStringLiteral("Msg|Human error|You can not add an empty variable.|None");
    const QStringList none;

    QTest::newRow("add beginning")
        << "cmdAddNewBeginning"
        << "lstBeginning" << QStringList{QStringLiteral("a")} << -1
        << QStringList{QStringLiteral("http://x")} << QList<bool>{} << QStringList{addBeginning}
        << QStringList{QStringLiteral("a"), QStringLiteral("http://x")} << pool;
    QTest::newRow("add cancelled")
        << "cmdAddNewBeginning"
        << "lstBeginning" << none << -1 << QStringList{QString()} << QList<bool>{}
        << QStringList{addBeginning, empty} << none << pool;
    QTest::newRow("add three spaces")
        << "cmdAddNewInterior"
        << "lstInterior" << none << -1 << QStringList{QStringLiteral("   ")} << QList<bool>{}
        << QStringList{addInterior, empty} << none << pool;
    QTest::newRow("add beginning duplicate")
        << "cmdAddNewBeginning"
        << "lstBeginning" << QStringList{QStringLiteral("abc")} << -1
        << QStringList{QStringLiteral("abc")} << QList<bool>{}
        << QStringList{addBeginning,
                       QStringLiteral(
                           "Msg|End exists|The beginning variable 'abc' already exists.|None")}
        << QStringList{QStringLiteral("abc")} << pool;
    QTest::newRow("add interior duplicate")
        << "cmdAddNewInterior"
        << "lstInterior" << QStringList{QStringLiteral("x"), QStringLiteral("abc")} << 0
        << QStringList{QStringLiteral("abc")} << QList<bool>{}
        << QStringList{addInterior,
                       QStringLiteral(
                           "Msg|End exists|The interior variable 'abc' already exists.|None")}
        << QStringList{QStringLiteral("x"), QStringLiteral("abc")} << pool;
    QTest::newRow("add blanks duplicate before empty")
        << "cmdAddNewEnd"
        << "lstEnd" << QStringList{QStringLiteral("  ")} << -1 << QStringList{QStringLiteral("  ")}
        << QList<bool>{}
        << QStringList{addEnd,
                       QStringLiteral("Msg|End exists|The end variable '  ' already exists.|None")}
        << QStringList{QStringLiteral("  ")} << pool;
    QTest::newRow("add end with blanks beside listed one")
        << "cmdAddNewEnd"
        << "lstEnd" << QStringList{QStringLiteral("gif")} << -1
        << QStringList{QStringLiteral(" gif ")} << QList<bool>{} << QStringList{addEnd}
        << QStringList{QStringLiteral("gif"), QStringLiteral(" gif ")} << pool;
    QTest::newRow("add end that the pool holds")
        << "cmdAddNewEnd"
        << "lstEnd" << none << -1 << QStringList{QStringLiteral("zip")} << QList<bool>{}
        << QStringList{addEnd} << QStringList{QStringLiteral("zip")} << pool;

    const QStringList ab{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("remove beginning, yes")
        << "cmdRemoveNewBeginning"
        << "lstBeginning" << ab << 1 << none << QList<bool>{true}
        << QStringList{QStringLiteral(
               "YesNo|Confirm intent|Are you sure you want to remove the beginning variable 'b'?")}
        << QStringList{QStringLiteral("a")} << pool;
    QTest::newRow("remove interior, yes")
        << "cmdRemoveNewInterior"
        << "lstInterior" << ab << 0 << none << QList<bool>{true}
        << QStringList{QStringLiteral(
               "YesNo|Confirm intent|Are you sure you want to remove the interior variable 'a'?")}
        << QStringList{QStringLiteral("b")} << pool;
    QTest::newRow("remove end, no")
        << "cmdRemoveNewEnd"
        << "lstEnd" << QStringList{QStringLiteral("gif")} << 0 << none << QList<bool>{false}
        << QStringList{QStringLiteral(
               "YesNo|Confirm intent|Are you sure you want to remove the end variable 'gif'?")}
        << QStringList{QStringLiteral("gif")} << pool;
    QTest::newRow("remove with nothing selected")
        << "cmdRemoveNewEnd"
        << "lstEnd" << ab << -1 << none << QList<bool>{} << none << ab << pool;

    QStringList poolWithoutExe = pool;
    poolWithoutExe.removeLast();
    QTest::newRow("move exe to the end list")
        << "cmdAddEnd"
        << "lstEnd" << QStringList{QStringLiteral("htm")} << -1 << none << QList<bool>{} << none
        << QStringList{QStringLiteral("htm"), QStringLiteral("exe")} << poolWithoutExe;
    QTest::newRow("move with nothing selected")
        << "cmdAddEnd"
        << "lstEnd" << none << -1 << none << QList<bool>{} << none << none << pool;
    QTest::newRow("move back to the pool's end")
        << "cmdRemoveEnd"
        << "lstEnd" << QStringList{QStringLiteral("htm"), QStringLiteral("asp")} << 0 << none
        << QList<bool>{} << none << QStringList{QStringLiteral("asp")}
        << pool + QStringList{QStringLiteral("htm")};
    QTest::newRow("move back refused")
        << "cmdRemoveEnd"
        << "lstEnd" << QStringList{QStringLiteral("gif")} << 0 << none << QList<bool>{}
        << QStringList{QStringLiteral("Msg|End exists|The end variable 'gif' already exists.|None")}
        << QStringList{QStringLiteral("gif")} << pool;
}

void tst_frmMain::criteriaCommands()
{
    QFETCH(QString, button);
    QFETCH(QString, listName);
    QFETCH(QStringList, before);
    QFETCH(int, selectRow);
    QFETCH(QStringList, inputs);
    QFETCH(QList<bool>, answers);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, after);
    QFETCH(QStringList, poolAfter);

    auto *list = m_window->findChild<QListWidget *>(listName);
    auto *pool = child<QListWidget>("lstPatterns");
    QVERIFY(list);
    list->addItems(before);
    if (selectRow >= 0)
        list->item(selectRow)->setSelected(true);
    // The pool's exe is selected for the move rows; the zip case below selects its own.
    if (button == QStringLiteral("cmdAddEnd")
        && QTest::currentDataTag() != QByteArray("move with nothing selected"))
        pool->item(pool->count() - 1)->setSelected(true);
    // A list that merely has the focus has a current row but no selection.
    if (selectRow < 0)
        list->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    for (const QString &input : inputs)
        m_prompts->inputs.enqueue(input);
    for (bool answer : answers)
        m_prompts->answers.enqueue(answer);

    m_window->findChild<QPushButton *>(button)->click();

    QCOMPARE(m_prompts->shown, shown);
    QCOMPARE(Entries(list), after);
    QCOMPARE(Entries(pool), poolAfter);
    QVERIFY(m_prompts->inputs.isEmpty());
    QVERIFY(m_prompts->answers.isEmpty());
    // After a removal or a move nothing is selected on either side.
    if (!button.startsWith(u"cmdAddNew"_s) && Entries(list) != before)
        QVERIFY(list->selectedItems().isEmpty() && pool->selectedItems().isEmpty());
}

void tst_frmMain::counterInterlocks()
{
    auto *incNum = child<QCheckBox>("chkIncNum");
    QLineEdit *num[] = {child<QLineEdit>("txtStartNum"), child<QLineEdit>("txtStopNum"),
                        child<QLineEdit>("txtIncrementNumerically")};
    incNum->click();
    for (QLineEdit *e : num)
        QVERIFY(e->isEnabled());
    num[0]->setText(QStringLiteral("5"));
    num[1]->setText(QStringLiteral("10"));
    num[2]->setText(QStringLiteral("2"));
    incNum->click();
    QCOMPARE(m_window->chkIncNum(), 0);
    for (QLineEdit *e : num) {
        QVERIFY(!e->isEnabled());
        QCOMPARE(e->text(), QStringLiteral("1"));
    }

    auto *incAlpha = child<QCheckBox>("chkIncAlpha");
    QLineEdit *alpha[] = {child<QLineEdit>("txtStartAlpha"), child<QLineEdit>("txtStopAlpha"),
                          child<QLineEdit>("txtIncrementAlphabetically")};
    incAlpha->click();
    QCOMPARE(m_window->chkIncAlpha(), 1);
    for (QLineEdit *e : alpha) {
        QVERIFY(e->isEnabled());
        e->setText(QStringLiteral("Z"));
    }
    incAlpha->click();
    QCOMPARE(alpha[0]->text(), QStringLiteral("a"));
    QCOMPARE(alpha[1]->text(), QStringLiteral("a"));
    QCOMPARE(alpha[2]->text(), QStringLiteral("1"));
    for (QLineEdit *e : alpha)
        QVERIFY(!e->isEnabled());
}

void tst_frmMain::saveInterlocks()
{
    auto *saveLinks = child<QCheckBox>("chkSaveLinks");
    auto *overwrite = child<QCheckBox>("chkOverwrite");
    const char *linkParts[] = {"lblDirectory1", "txtSaveLinks", "cmdBrowse1", "chkOverwrite"};
    saveLinks->click();
    for (const char *name : linkParts)
        QVERIFY2(child<QWidget>(name)->isEnabled(), name);
    overwrite->click();
    child<QLineEdit>("txtSaveLinks")->setText(QStringLiteral("/tmp/out"));
    saveLinks->click();
    for (const char *name : linkParts)
        QVERIFY2(!child<QWidget>(name)->isEnabled(), name);
    // Disabled fields keep their values and still count.
    QCOMPARE(m_window->chkOverwrite(), 1);
    QCOMPARE(m_window->txtSaveLinks(), QStringLiteral("/tmp/out"));
    saveLinks->click();
    QVERIFY(overwrite->isEnabled());
    QCOMPARE(m_window->chkOverwrite(), 1);

    auto *saveHrefs = child<QCheckBox>("chkSaveHREFs");
    const char *hrefParts[] = {"optOneHREFPerFile", "optAllHREFsOneFile", "lblDirectory2",
                               "txtSaveHREFs", "cmdBrowse2"};
    saveHrefs->click();
    for (const char *name : hrefParts)
        QVERIFY2(child<QWidget>(name)->isEnabled(), name);
    child<QRadioButton>("optOneHREFPerFile")->click();
    QVERIFY(m_window->optOneHREFPerFile());
    child<QRadioButton>("optAllHREFsOneFile")->click();
    QVERIFY(!m_window->optOneHREFPerFile());
    saveHrefs->click();
    for (const char *name : hrefParts)
        QVERIFY2(!child<QWidget>(name)->isEnabled(), name);
    QVERIFY(child<QRadioButton>("optAllHREFsOneFile")->isChecked());
    // The And/Or pairs are groups of their own, apart from the output pair.
    child<QRadioButton>("optAnd1")->click();
    QVERIFY(!m_window->optOr1());
    QVERIFY(m_window->optOr2());
    QVERIFY(child<QRadioButton>("optAllHREFsOneFile")->isChecked());
}

void tst_frmMain::timeOut_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("timeout");

    QTest::newRow("whole") << QStringLiteral("30") << QStringLiteral("30") << 30;
    QTest::newRow("half to even, down") << QStringLiteral("2.5") << QStringLiteral("2.5") << 2;
    QTest::newRow("half to even, up") << QStringLiteral("3.5") << QStringLiteral("3.5") << 4;
    QTest::newRow("blanks around") << QStringLiteral(" 7 ") << QStringLiteral(" 7 ") << 7;
    QTest::newRow("empty") << QString() << QStringLiteral("60") << 60;
    QTest::newRow("letters") << QStringLiteral("abc") << QStringLiteral("60") << 60;
    QTest::newRow("zero") << QStringLiteral("0") << QStringLiteral("60") << 60;
    QTest::newRow("rounds to zero") << QStringLiteral("0.4") << QStringLiteral("60") << 60;
    QTest::newRow("negative") << QStringLiteral("-5") << QStringLiteral("60") << 60;
    QTest::newRow("beyond 32 bits") << QStringLiteral("99999999999") << QStringLiteral("60") << 60;
    QTest::newRow("huge exponent") << QStringLiteral("1e300") << QStringLiteral("60") << 60;
}

void tst_frmMain::timeOut()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(int, timeout);
    auto *field = child<QLineEdit>("txtTimeOut");
    field->setText(text);
    QCOMPARE(field->text(), shown);
    QCOMPARE(m_inet->timeout, timeout);
    QCOMPARE(m_window->txtTimeOut(), shown);
}

void tst_frmMain::timeOutTypedBackToLastAccepted()
{
    auto *field = child<QLineEdit>("txtTimeOut");
    field->setFocus();
    field->end(false);
    QTest::keyClick(field, Qt::Key_X);
    QCOMPARE(field->text(), QStringLiteral("60"));
    QCOMPARE(m_inet->timeout, 60);
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text(), QStringLiteral("6"));
    QCOMPARE(m_inet->timeout, 6);
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text(), QStringLiteral("6"));
    QCOMPARE(m_inet->timeout, 6);
}

void tst_frmMain::defaultExtensionLosesLeadingDot_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("one dot") << QStringLiteral(".htm") << QStringLiteral("htm");
    QTest::newRow("two dots") << QStringLiteral("..txt") << QStringLiteral(".txt");
    QTest::newRow("lone dot") << QStringLiteral(".") << QString();
    QTest::newRow("no dot") << QStringLiteral("h?m") << QStringLiteral("h?m");
    QTest::newRow("inner dot") << QStringLiteral("tar.gz") << QStringLiteral("tar.gz");
}

void tst_frmMain::defaultExtensionLosesLeadingDot()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    auto *field = child<QLineEdit>("txtDefaultExtension");
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    QTest::keyClicks(field, typed);
    QCOMPARE(field->text(), typed);
    child<QLineEdit>("txtAddress")->setFocus();
    QTRY_VERIFY(!field->hasFocus());
    QCOMPARE(field->text(), kept);
}

void tst_frmMain::browse_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("havePicker");
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("shown");

    const QStringList missing{
        QStringLiteral("Msg|Folderpick|The folder picker library (Folderpick) could not be loaded, "
                       "so Browse is not available. "
                       "Type the folder into the field instead.|Warning")};
    QTest::newRow("links folder chosen")
        << "cmdBrowse1"
        << "txtSaveLinks" << true << std::optional<QString>(QStringLiteral("/srv/out"))
        << "/srv/out" << QStringList();
    QTest::newRow("hrefs folder chosen")
        << "cmdBrowse2"
        << "txtSaveHREFs" << true << std::optional<QString>(QStringLiteral("/srv/h")) << "/srv/h"
        << QStringList();
    QTest::newRow("cancel empties the field")
        << "cmdBrowse1"
        << "txtSaveLinks" << true << std::optional<QString>(QString()) << "" << QStringList();
    QTest::newRow("picker unavailable")
        << "cmdBrowse2"
        << "txtSaveHREFs" << true << std::optional<QString>() << "/old" << missing;
    QTest::newRow("no picker at all")
        << "cmdBrowse1"
        << "txtSaveLinks" << false << std::optional<QString>() << "/old" << missing;
}

void tst_frmMain::browse()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(bool, havePicker);
    QFETCH(std::optional<QString>, answer);
    QFETCH(QString, expected);
    QFETCH(QStringList, shown);

    FakeFolderPicker picker;
    picker.answer = answer;
    if (havePicker)
        m_window->SetFolderPicker(&picker);
    child<QCheckBox>("chkSaveLinks")->click();
    child<QCheckBox>("chkSaveHREFs")->click();
    auto *edit = m_window->findChild<QLineEdit *>(field);
    edit->setText(QStringLiteral("/old"));
    m_window->findChild<QPushButton *>(button)->click();
    QCOMPARE(edit->text(), expected);
    QCOMPARE(m_prompts->shown, shown);
    if (havePicker)
        QCOMPARE(picker.titles, QStringList{QString()});
    m_window->SetFolderPicker(nullptr);
}

void tst_frmMain::shortcutsActInTextField_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifier");
    QTest::addColumn<QString>("command");

    const int ctrl = Qt::ControlModifier;
    QTest::newRow("Ctrl+X exits") << int(Qt::Key_X) << ctrl << "exit";
    QTest::newRow("Ctrl+A opens about") << int(Qt::Key_A) << ctrl << "about";
    QTest::newRow("Ctrl+R opens feedback") << int(Qt::Key_R) << ctrl << "feedback";
    QTest::newRow("Ctrl+H opens help") << int(Qt::Key_H) << ctrl << "help";
    QTest::newRow("Alt+S runs support") << int(Qt::Key_S) << int(Qt::AltModifier) << "support";
}

void tst_frmMain::shortcutsActInTextField()
{
    QFETCH(int, key);
    QFETCH(int, modifier);
    QFETCH(QString, command);

    QStringList called;
    ShellCommands commands;
    commands.about = [&](QWidget *owner) {
        called.append(owner == m_window.get() ? u"about"_s : u"?"_s);
    };
    commands.feedback = [&](QWidget *owner) {
        called.append(owner == m_window.get() ? u"feedback"_s : u"?"_s);
    };
    commands.support = [&](QWidget *owner) {
        called.append(owner == m_window.get() ? u"support"_s : u"?"_s);
    };
    m_window->SetShellCommands(commands);
    m_window->SetExitProgram([&] { called.append(u"exit"_s); });

    QApplication::clipboard()->setText(QStringLiteral("untouched"));
    auto *address = child<QLineEdit>("txtAddress");
    const QString before = address->text();
    address->setFocus();
    QTRY_VERIFY(address->hasFocus());
    address->selectAll();
    QTest::keyClick(address, Qt::Key(key), Qt::KeyboardModifiers(modifier));

    if (command == u"help"_s)
        QVERIFY(!child<WebBrowser>("wbHelp")->isHidden());
    else
        QCOMPARE(called, QStringList{command});
    // The field did not take the key for itself.
    QCOMPARE(address->text(), before);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("untouched"));
}

void tst_frmMain::exitSkipsCloseStep()
{
    m_inet->executing = true;
    child<QAction>("mnuFileExit")->trigger();
    QCOMPARE(m_exits, 1);
    QCOMPARE(m_inet->executingQueries, 0);
    QCOMPARE(m_inet->cancels, 0);
    QVERIFY(m_window->isVisible());

    // Support stands in the menu bar itself.
    int support = 0;
    m_window->SetShellCommands({[&](QWidget *) { ++support; }, {}, {}});
    child<QAction>("mnuSupport")->trigger();
    QCOMPARE(support, 1);
    QCOMPARE(child<QAction>("mnuSupport")->text(), QStringLiteral("&Support FREE Software!"));
}

void tst_frmMain::closeCancelsRunningTransfer_data()
{
    QTest::addColumn<bool>("executing");
    QTest::addColumn<int>("cancels");
    QTest::newRow("transfer running") << true << 1;
    QTest::newRow("idle") << false << 0;
}

void tst_frmMain::closeCancelsRunningTransfer()
{
    QFETCH(bool, executing);
    QFETCH(int, cancels);
    m_inet->executing = executing;
    QVERIFY(m_window->close());
    QCOMPARE(m_inet->cancels, cancels);
    QCOMPARE(m_exits, 0);
}

void tst_frmMain::layoutOfTheWindow()
{
    auto *tabMain = child<QTabWidget>("tabMain");
    auto *help = child<WebBrowser>("wbHelp");
    // 14070 x 8580 twips, status bar 345.
    QCOMPARE(tabMain->geometry(), QRect(0, 0, 938, 549));
    QCOMPARE(child<QStatusBar>("staMain")->geometry(), QRect(0, 549, 938, 23));
    QCOMPARE(child<QPushButton>("cmdStop")->geometry(), QRect(841, 552, 41, 19));
    QCOMPARE(child<QPushButton>("cmdGo")->geometry(), QRect(885, 552, 29, 19));
    QCOMPARE(child<QLabel>("lblLocation")->width(), 870);
    auto *statusView = child<QTabWidget>("tabStatusView");
    QCOMPARE(statusView->size(), QSize(922, 413));
    auto *log = child<LogList>("lstLog");
    QCOMPARE(log->y() - statusView->y(), (7040 - 780) / 15);
    QCOMPARE(log->size(), QSize(922, 69));

    child<QAction>("mnuHelpHelpBrowser")->trigger();
    QVERIFY(!help->isHidden());
    QCOMPARE(help->geometry(), QRect(661, 0, 277, 568));
    QCOMPARE(tabMain->width(), 661);
    // Go and Stop stay over the pane, in the bottom row.
    QCOMPARE(child<QPushButton>("cmdGo")->geometry(), QRect(885, 552, 29, 19));
    QCOMPARE(m_window->childAt(m_window->centralWidget()->mapTo(m_window.get(), QPoint(890, 560))),
             child<QPushButton>("cmdGo"));

    child<QAction>("mnuHelpHelpBrowser")->trigger();
    QVERIFY(help->isHidden());
    QCOMPARE(tabMain->width(), 938);

    // Too small for most sizes: nothing breaks, and the old size returns intact.
    const QSize full = m_window->size();
    m_window->resize(40, 30);
    QTRY_COMPARE(m_window->centralWidget()->width(), 40);
    QCOMPARE(child<QPushButton>("cmdGo")->x(), 40 - 53);
    m_window->resize(full);
    QTRY_COMPARE(m_window->centralWidget()->size(), QSize(938, 572));
    QCOMPARE(tabMain->geometry(), QRect(0, 0, 938, 549));
    QCOMPARE(statusView->size(), QSize(922, 413));
}

void tst_frmMain::setupPageNeverMoves()
{
    QHash<QString, QRect> before;
    const auto widgets = child<QWidget>("pageSetup")->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(u"qt_"_s))
            before.insert(w->objectName(), w->geometry());
    }
    QVERIFY(before.size() > 40);
    m_window->resize(m_window->width() + 300, m_window->height() + 200);
    QTRY_COMPARE(m_window->centralWidget()->width(), 938 + 300);
    child<QAction>("mnuHelpHelpBrowser")->trigger();
    for (QWidget *w : widgets) {
        if (before.contains(w->objectName()))
            QCOMPARE(w->geometry(), before.value(w->objectName()));
    }
}

void tst_frmMain::helpPaneToggles()
{
    auto *help = child<WebBrowser>("wbHelp");
    QSignalSpy loads(help, &WebBrowser::DownloadComplete);
    child<QAction>("mnuHelpHelpBrowser")->trigger();
    QVERIFY(!help->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(loads.count() > 0 && help->LocationURL() == frmMain::HelpStartPage(),
                             kWaitMs);
    QVERIFY(help->LastLoadOk());
    QVERIFY(frmMain::HelpStartPage().endsWith(QStringLiteral("/Help/default.htm")));
    QVERIFY(!help->LocationURL().contains(QStringLiteral("//Help")));
    child<QAction>("mnuHelpHelpBrowser")->trigger();
    QVERIFY(help->isHidden());
}

void tst_frmMain::closeWindowMessage_data()
{
    QTest::addColumn<bool>("openFirst");
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<bool>("visibleAfter");

    QTest::newRow("closes the open pane") << true << QStringLiteral("CloseWindow") << false;
    QTest::newRow("other case leaves it open") << true << QStringLiteral("closewindow") << true;
    QTest::newRow("opens a hidden pane") << false << QStringLiteral("CloseWindow") << true;
}

void tst_frmMain::closeWindowMessage()
{
    QFETCH(bool, openFirst);
    QFETCH(QString, fragment);
    QFETCH(bool, visibleAfter);

    const QString path = m_pages.filePath(QStringLiteral("helppage.htm"));
    {
        QFile page(path);
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><body>help</body></html>");
    }
    auto *help = child<WebBrowser>("wbHelp");
    QSignalSpy loads(help, &WebBrowser::DownloadComplete);
    if (openFirst) {
        child<QAction>("mnuHelpHelpBrowser")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(
            help->LocationURL() == frmMain::HelpStartPage() && loads.count() > 0, kWaitMs);
    }
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(fragment);
    loads.clear();
    help->Navigate(url.toString());
    QTRY_VERIFY_WITH_TIMEOUT(loads.count() > 0, kWaitMs);
    QCOMPARE(!help->isHidden(), visibleAfter);
    QCOMPARE(child<QTabWidget>("tabMain")->width(), visibleAfter ? 661 : 938);
}

void tst_frmMain::firstStartHelpRule_data()
{
    QTest::addColumn<std::optional<QString>>("stored");
    QTest::addColumn<bool>("opens");

    QTest::newRow("first start") << std::optional<QString>() << true;
    QTest::newRow("later start") << std::optional<QString>(QStringLiteral("False")) << false;
    QTest::newRow("stored true") << std::optional<QString>(QStringLiteral("True")) << true;
    QTest::newRow("hand-edited") << std::optional<QString>(QStringLiteral("perhaps")) << true;
}

void tst_frmMain::firstStartHelpRule()
{
    QFETCH(std::optional<QString>, stored);
    QFETCH(bool, opens);

    m_window.reset();
    StoreShowHelp(stored);
    makeWindow();
    QCOMPARE(!child<WebBrowser>("wbHelp")->isHidden(), opens);
    QCOMPARE(StoredShowHelp(), opens ? std::optional<QString>(QStringLiteral("False")) : stored);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(child<QTabWidget>("tabMain")->width(), opens ? 661 : 938);

    // The next start leaves the pane closed.
    m_window.reset();
    makeWindow();
    QVERIFY(child<WebBrowser>("wbHelp")->isHidden());
}

void tst_frmMain::errorCheckRefusals_data()
{
    QTest::addColumn<QStringList>("fields"); // name=value pairs; a tick box takes "1"
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("setupPage");
    QTest::addColumn<bool>("emptied");

    QTest::newRow("1 address blank")
        << QStringList{u"txtAddress=   "_s} << u"OOPS! You forgot to enter an address!"_s
        << "txtAddress" << true << false;
    QTest::newRow("2 no ^N")
        << QStringList{u"chkIncNum=1"_s, u"txtAddress=http://a/^n"_s}
        << u"OOPS! You checked the 'Increment numerically' checkbox but did not enter any "
           u"wildcards (^N) into the address textbox!"_s
        << "txtAddress" << true << false;
    QTest::newRow("3 numbers reversed")
        << QStringList{u"chkIncNum=1"_s, u"txtStartNum=5"_s, u"txtStopNum=1"_s,
                       u"txtIncrementNumerically=1"_s}
        << u"OOPS! You start number is greater than your stop number but your incrmentation is not negative!"_s
        << "txtIncrementNumerically" << true << false;
    QTest::newRow("4 no ^L")
        << QStringList{u"chkIncAlpha=1"_s}
        << u"OOPS! You checked the 'Increment alphabetically' checkbox but did not enter any "
           u"wildcards (^L) into the address textbox!"_s
        << "txtAddress" << true << false;
    QTest::newRow("5 letters reversed")
        << QStringList{u"chkIncAlpha=1"_s, u"txtAddress=http://a/^L^N"_s, u"txtStartAlpha=c"_s,
                       u"txtStopAlpha=a"_s}
        << u"OOPS! You start number is greater than your stop number but your incrmentation is not negative!"_s
        << "txtIncrementAlphabetically" << true << false;
    QTest::newRow("6 no folder") << QStringList{u"chkSaveLinks=1"_s, u"txtDefaultExtension="_s}
                                 << u"OOPS! You didn't enter a destination path!"_s
                                 << "txtSaveLinks" << true << false;
    QTest::newRow("7 no extension") << QStringList{u"txtDefaultExtension="_s}
                                    << u"OOPS! You didn't enter a default extension!"_s
                                    << "txtDefaultExtension" << true << false;
    QTest::newRow("8 invalid extension")
        << QStringList{u"txtDefaultExtension=h?m"_s} << u"The extension you entered is invalid."_s
        << "txtDefaultExtension" << false << true;
    QTest::newRow("9 no file") << QStringList{u"chkSaveHREFs=1"_s}
                               << u"OOPS! You didn't enter a destination file!"_s << "txtSaveHREFs"
                               << true << false;
}

void tst_frmMain::errorCheckRefusals()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    QFETCH(bool, setupPage);
    QFETCH(bool, emptied);

    makeJobValid();
    for (const QString &pair : fields) {
        const QString name = pair.section(u'=', 0, 0);
        const QString value = pair.section(u'=', 1);
        if (auto *box = m_window->findChild<QCheckBox *>(name))
            box->click();
        else
            m_window->findChild<QLineEdit *>(name)->setText(value);
    }
    auto *tabMain = child<QTabWidget>("tabMain");
    tabMain->setCurrentIndex(1);
    child<LogList>("lstLog")->setFocus();

    QVERIFY(!m_window->ErrorCheck());

    QCOMPARE(m_prompts->shown, QStringList{u"Msg|Human error|"_s + message + u"|Critical"_s});
    QCOMPARE(tabMain->currentIndex(), setupPage ? 0 : 1);
    auto *field = m_window->findChild<QLineEdit *>(focus);
    QCOMPARE(m_window->focusWidget(), field);
    if (emptied)
        QCOMPARE(field->text(), QString());
}

void tst_frmMain::criteriaQuestion_data()
{
    QTest::addColumn<QString>("criterion"); // list=entry, or empty for none
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<bool>("result");

    QTest::newRow("no criteria, yes") << QString() << QList<bool>{true} << true;
    QTest::newRow("no criteria, no") << QString() << QList<bool>{false} << false;
    QTest::newRow("beginning listed") << u"lstBeginning=http"_s << QList<bool>{} << true;
    QTest::newRow("interior listed") << u"lstInterior=x"_s << QList<bool>{} << true;
    QTest::newRow("end listed") << u"lstEnd=gif"_s << QList<bool>{} << true;
}

void tst_frmMain::criteriaQuestion()
{
    QFETCH(QString, criterion);
    QFETCH(QList<bool>, answers);
    QFETCH(bool, result);

    makeJobValid();
    if (!criterion.isEmpty())
        m_window->findChild<QListWidget *>(criterion.section(u'=', 0, 0))
            ->addItem(criterion.section(u'=', 1));
    for (bool answer : answers)
        m_prompts->answers.enqueue(answer);
    auto *tabMain = child<QTabWidget>("tabMain");
    tabMain->setCurrentIndex(1);

    QCOMPARE(m_window->ErrorCheck(), result);
    const QStringList question{u"YesNo|Confirm intent|OOPS! You did not enter any search criteria! "
                               u"If you would like to get all links on "
                               u"every page, click the Yes button below."_s};
    QCOMPARE(m_prompts->shown, answers.isEmpty() ? QStringList() : question);
    QCOMPARE(tabMain->currentIndex(), 1);
}

void tst_frmMain::goRunsOnlyAfterErrorCheck()
{
    const QString path = m_pages.filePath(QStringLiteral("target.htm"));
    QFile page(path);
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><body><a href=\"a.gif\">a</a></body></html>");
    page.close();
    child<QLineEdit>("txtAddress")->setText(QUrl::fromLocalFile(path).toString());
    auto *log = child<LogList>("lstLog");
    log->AppendLine(u"earlier run"_s);

    auto *go = child<QPushButton>("cmdGo");
    go->click(); // refused: the default extension starts empty
    QCOMPARE(m_prompts->shown.size(), 1);
    QCOMPARE(LogLines(*log), QStringList{u"earlier run"_s});
    QCOMPARE(child<QTabWidget>("tabMain")->currentIndex(), 0);

    makeJobValid();
    child<QListWidget>("lstEnd")->addItem(u"png"_s);
    go->click(); // the run ends before click returns
    QCOMPARE(m_prompts->shown.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(
        go->isEnabled() && log->count() > 0
            && log->Line(log->count() - 1).endsWith(u" -> Done.  Items downloaded: 0."_s),
        kWaitMs);
    QCOMPARE(log->count(), 4);
    QVERIFY(!child<QPushButton>("cmdStop")->isEnabled());
    QCOMPARE(child<QTabWidget>("tabMain")->currentIndex(), 1);
    QCOMPARE(m_window->CurrentNumber(), 1.0);
}

void tst_frmMain::runShowsItsStateAtPromptsAndEnd_data()
{
    QTest::addColumn<QStringList>("links"); // the page's links; none: the page is missing
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QList<QStringList>>("atPrompts"); // the status line, then the log's messages
    QTest::addColumn<QStringList>("atEnd");

    // "{page}" stands for the page's address. The fake transfer fails every download.
    const QString loaded = u"Source code has been downloaded: {page}."_s;
    const QStringList parsed{loaded, u"Source code has been parsed: 2 total links."_s,
                             u"Filters have been applied: 2 relevant links."_s};
    const QString done = u"Done.  Items downloaded: 0."_s;
    const QStringList ab{u"a.gif"_s, u"b.gif"_s};
    const QStringList atA = QStringList{u"Downloading: a.gif"_s} + parsed;
    const QStringList atB = QStringList{u"Downloading: b.gif"_s} + parsed;
    QTest::newRow("each failed download, yes")
        << ab << QList<bool>{true, true} << QList<QStringList>{atA, atB} << atB + QStringList{done};
    QTest::newRow("first failed download, no")
        << ab << QList<bool>{false} << QList<QStringList>{atA} << atA;
    QTest::newRow("page not loaded, yes")
        << QStringList() << QList<bool>{true}
        << QList<QStringList>{{u"Downloading source code: {page}"_s}}
        << QStringList{u"Downloading source code: {page}"_s, done};
}

// The run's texts reach the widgets in batches; a question and the end of the run must
// find everything written already, without an event loop in between.
void tst_frmMain::runShowsItsStateAtPromptsAndEnd()
{
    QFETCH(QStringList, links);
    QFETCH(QList<bool>, answers);
    QFETCH(QList<QStringList>, atPrompts);
    QFETCH(QStringList, atEnd);

    const QString path = m_pages.filePath(links.isEmpty() ? u"missing.htm"_s : u"failing.htm"_s);
    if (!links.isEmpty()) {
        QFile page(path);
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><body>");
        for (const QString &link : links)
            page.write("<a href=\"" + link.toUtf8() + "\">x</a>");
        page.write("</body></html>");
    }
    const QString address = QUrl::fromLocalFile(path).toString();
    QTemporaryDir out;
    QVERIFY(out.isValid());
    makeJobValid();
    child<QLineEdit>("txtAddress")->setText(address);
    child<QListWidget>("lstEnd")->addItem(u"gif"_s);
    child<QCheckBox>("chkSaveLinks")->click();
    child<QLineEdit>("txtSaveLinks")->setText(out.path());
    child<QLineEdit>("txtTimeOut")->setText(u"10"_s);
    child<LogList>("lstLog")->AppendLine(u"earlier run"_s);
    for (bool answer : answers)
        m_prompts->answers.enqueue(answer);

    const auto shown = [&] {
        QStringList texts{child<QStatusBar>("staMain")->currentMessage()};
        for (const QString &line : LogLines(*child<LogList>("lstLog")))
            texts.append(line.section(u" -> "_s, 1));
        return texts;
    };
    const auto withPage = [&](QStringList texts) {
        return texts.replaceInStrings(u"{page}"_s, address);
    };
    QList<QStringList> seen;
    m_prompts->whenAsked = [&] { seen.append(shown()); };

    child<QPushButton>("cmdGo")->click(); // the run ends before click returns
    QVERIFY(!m_window->IsRunning());
    QCOMPARE(seen.size(), atPrompts.size());
    for (qsizetype i = 0; i < seen.size(); ++i)
        QCOMPARE(seen.at(i), withPage(atPrompts.at(i)));
    QCOMPARE(shown(), withPage(atEnd));
}

// Lines still waiting to be written count toward the log's limit, and the clear at the
// limit drops them too: only the line past the limit is left.
void tst_frmMain::logClearsAtItsLimit()
{
    auto *log = child<LogList>("lstLog");
    for (int i = 0; i <= ScrapeRun::kMaxLogLines; ++i)
        m_window->AddToLog(QString::number(i));
    QTRY_VERIFY(log->count() > 0);
    QCOMPARE(log->count(), 1);
    QVERIFY(log->Line(0).endsWith(u" -> "_s + QString::number(ScrapeRun::kMaxLogLines)));
}

void tst_frmMain::runMethodsReadTheFields()
{
    child<QListWidget>("lstEnd")->addItem(u"gif"_s);
    auto *code = child<QListWidget>("lstCode");
    code->addItems({u"a.gif"_s, u"b.jpg"_s, u"c.gif"_s});
    m_window->TrimList();
    QCOMPARE(Entries(code), QStringList({u"a.gif"_s, u"c.gif"_s}));
    QVERIFY(m_window->CheckExtension(u"x.gif"_s));
    QVERIFY(!m_window->CheckExtension(u"x.png"_s));
    QCOMPARE(m_window->GetAsc(u"B"_s), std::optional<int>(2));
    QCOMPARE(m_window->GetPath(u"http://other.example/a.gif"_s), u"http://other.example/a.gif"_s);

    QTemporaryDir out;
    QVERIFY(out.isValid());
    child<QLineEdit>("txtDefaultExtension")->setText(u"htm"_s);
    // No run yet: the number is 0.
    const QString named = m_window->GetFilename(u"a?b"_s, out.path());
    QCOMPARE(QFileInfo(named).fileName(), u"0.htm"_s);
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
