#include "loglist.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QStringList Numbered(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines.append(u"12:00:%1 -> line %2"_s.arg(i % 60, 2, 10, QChar(u'0')).arg(i));
    return lines;
}

// "+a,b" appends a batch ("+" an empty one), "clear" clears, "=row" sets the current row.
void Apply(LogList &log, const QString &step)
{
    if (step == u"clear"_s)
        log.clear();
    else if (step.startsWith(u'='))
        log.setCurrentRow(step.mid(1).toInt());
    else if (step == u"+"_s)
        log.AppendLines({});
    else if (!step.contains(u','))
        log.AppendLine(step.mid(1));
    else
        log.AppendLines(step.mid(1).split(u','));
}

bool TakeFocus(QWidget *widget)
{
    widget->setFocus();
    if (!QTest::qWaitFor([widget] { return widget->hasFocus(); }))
        return false;
    // Queued work (scroll bars shown or hidden, a list's delayed layout) is done first.
    for (int round = 0; round < 3; ++round)
        QCoreApplication::processEvents();
    return true;
}

} // namespace

class tst_LogList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void appendAndClear_data();
    void appendAndClear();
    void looksLikeAList_data();
    void looksLikeAList();
    void keysAndClicks_data();
    void keysAndClicks();
    void appendBringsTheNewLineIntoView();
    void accessibleList_data();
    void accessibleList();

private:
    // What a list widget at the log's place shows with these lines and this current row.
    QImage listLook(const QStringList &lines, int current, bool focused);
    QImage logLook(bool focused);

    std::unique_ptr<QWidget> m_window;
    QWidget *m_focusElsewhere = nullptr;
    LogList *m_log = nullptr;
};

void tst_LogList::init()
{
    m_window = std::make_unique<QWidget>();
    m_window->resize(1000, 400);
    // The main window's small font: about four rows in view.
    QFont font = m_window->font();
    font.setPixelSize(11);
    m_window->setFont(font);
    m_log = new LogList(m_window.get());
    // The main window's log: 922 x 69.
    m_log->setGeometry(0, 0, 922, 69);
    m_focusElsewhere = new QLineEdit(m_window.get());
    m_focusElsewhere->setGeometry(0, 300, 100, 20);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void tst_LogList::cleanup()
{
    m_window.reset();
}

QImage tst_LogList::listLook(const QStringList &lines, int current, bool focused)
{
    QListWidget list(m_window.get());
    list.setGeometry(m_log->geometry());
    list.addItems(lines);
    list.show();
    if (current >= 0) {
        list.setCurrentRow(current);
        list.scrollToItem(list.item(current));
    }
    if (!TakeFocus(focused ? static_cast<QWidget *>(&list) : m_focusElsewhere))
        return {};
    return list.viewport()->grab().toImage();
}

QImage tst_LogList::logLook(bool focused)
{
    if (!TakeFocus(focused ? static_cast<QWidget *>(m_log) : m_focusElsewhere))
        return {};
    return m_log->viewport()->grab().toImage();
}

void tst_LogList::appendAndClear_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("current");
    QTest::addColumn<QStringList>("signalsSeen");

    QTest::newRow("one line") << QStringList{u"+a"_s} << QStringList{u"a"_s} << 0
                              << QStringList{u"appended 0-0"_s, u"current 0"_s};
    QTest::newRow("a batch, then another")
        << QStringList{u"+a"_s, u"+b,c"_s} << QStringList{u"a"_s, u"b"_s, u"c"_s} << 2
        << QStringList{u"appended 0-0"_s, u"current 0"_s, u"appended 1-2"_s, u"current 2"_s};
    QTest::newRow("empty batch") << QStringList{u"+"_s} << QStringList() << -1 << QStringList();
    QTest::newRow("clear") << QStringList{u"+a,b"_s, u"clear"_s} << QStringList() << -1
                           << QStringList{u"appended 0-1"_s, u"current 1"_s, u"current -1"_s,
                                          u"cleared"_s};
    QTest::newRow("append after clear")
        << QStringList{u"+a,b"_s, u"clear"_s, u"+c"_s} << QStringList{u"c"_s} << 0
        << QStringList{u"appended 0-1"_s, u"current 1"_s,    u"current -1"_s,
                       u"cleared"_s,      u"appended 0-0"_s, u"current 0"_s};
    QTest::newRow("current set by hand")
        << QStringList{u"+a,b,c"_s, u"=0"_s} << QStringList{u"a"_s, u"b"_s, u"c"_s} << 0
        << QStringList{u"appended 0-2"_s, u"current 2"_s, u"current 0"_s};
    QTest::newRow("current beyond the end")
        << QStringList{u"+a,b"_s, u"=2"_s} << QStringList{u"a"_s, u"b"_s} << -1
        << QStringList{u"appended 0-1"_s, u"current 1"_s, u"current -1"_s};
}

void tst_LogList::appendAndClear()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, lines);
    QFETCH(int, current);
    QFETCH(QStringList, signalsSeen);

    QStringList seen;
    connect(m_log, &LogList::linesAppended, this,
            [&](int first, int last) { seen.append(u"appended %1-%2"_s.arg(first).arg(last)); });
    connect(m_log, &LogList::currentRowChanged, this,
            [&](int row) { seen.append(u"current %1"_s.arg(row)); });
    connect(m_log, &LogList::cleared, this, [&] { seen.append(u"cleared"_s); });
    for (const QString &step : steps)
        Apply(*m_log, step);

    QCOMPARE(m_log->count(), lines.size());
    for (int row = 0; row < lines.size(); ++row)
        QCOMPARE(m_log->Line(row), lines.at(row));
    QCOMPARE(m_log->currentRow(), current);
    QCOMPARE(seen, signalsSeen);
}

void tst_LogList::looksLikeAList_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("focused");

    QTest::newRow("empty") << 0 << -1 << false;
    QTest::newRow("three, last current") << 3 << 2 << false;
    QTest::newRow("three, first current, focused") << 3 << 0 << true;
    QTest::newRow("many, last current") << 1000 << 999 << false;
    QTest::newRow("many, last current, focused") << 1000 << 999 << true;
}

void tst_LogList::looksLikeAList()
{
    QFETCH(int, lines);
    QFETCH(int, current);
    QFETCH(bool, focused);

    const QStringList text = Numbered(lines);
    m_log->AppendLines(text);
    m_log->setCurrentRow(current);
    const QImage theirs = listLook(text, current, focused);
    QVERIFY(!theirs.isNull());
    QVERIFY(logLook(focused) == theirs);
}

void tst_LogList::keysAndClicks_data()
{
    QTest::addColumn<QStringList>("input"); // key names, or "click N": the Nth row in view
    QTest::addColumn<int>("current");

    // 100 lines, the last one current; four rows are in view.
    QTest::newRow("up") << QStringList{u"Up"_s} << 98;
    QTest::newRow("down at the end") << QStringList{u"Down"_s} << 99;
    QTest::newRow("home") << QStringList{u"Home"_s} << 0;
    QTest::newRow("up at the top") << QStringList{u"Home"_s, u"Up"_s} << 0;
    QTest::newRow("home, down") << QStringList{u"Home"_s, u"Down"_s} << 1;
    QTest::newRow("page down") << QStringList{u"Home"_s, u"PgDown"_s} << 3;
    QTest::newRow("page up") << QStringList{u"PgUp"_s} << 96;
    QTest::newRow("page down, then up")
        << QStringList{u"Home"_s, u"PgDown"_s, u"PgDown"_s, u"PgUp"_s} << 3;
    QTest::newRow("end") << QStringList{u"Home"_s, u"End"_s} << 99;
    QTest::newRow("click") << QStringList{u"click 1"_s} << 97;
    QTest::newRow("click after home") << QStringList{u"Home"_s, u"click 2"_s} << 2;
}

void tst_LogList::keysAndClicks()
{
    QFETCH(QStringList, input);
    QFETCH(int, current);

    // The same moves on a list widget at the same place are the reference.
    QListWidget list(m_window.get());
    list.addItem(u"x"_s);
    list.show();
    const int rowHeight = list.visualItemRect(list.item(0)).height();
    m_log->resize(m_log->width(), 4 * rowHeight + 2 * m_log->frameWidth());
    list.setGeometry(m_log->geometry());
    const QStringList text = Numbered(100);
    list.clear();
    list.addItems(text);
    list.setCurrentRow(99);
    list.scrollToItem(list.item(99));
    m_log->AppendLines(text);

    for (QAbstractScrollArea *view : std::initializer_list<QAbstractScrollArea *>{m_log, &list}) {
        QVERIFY(TakeFocus(view));
        for (const QString &step : input) {
            if (step.startsWith(u"click "_s)) {
                const int inView = step.section(u' ', 1).toInt();
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                                  QPoint(20, inView * rowHeight + rowHeight / 2));
            } else {
                QTest::keyClick(view, QKeySequence::fromString(step)[0].key());
            }
        }
    }
    QCOMPARE(m_log->currentRow(), current);
    QCOMPARE(list.currentRow(), current);
    // The current line is in view and shown selected, where the list shows it.
    const QImage mine = logLook(true);
    QVERIFY(TakeFocus(&list));
    QVERIFY(mine == list.viewport()->grab().toImage());

    QTest::keyClick(m_log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), text.at(current));
}

void tst_LogList::appendBringsTheNewLineIntoView()
{
    QStringList text = Numbered(500);
    m_log->AppendLines(text);
    const QImage atEnd = logLook(false);

    // The user scrolls away; the current line stays.
    const QPointF inside(20, 20);
    QWheelEvent up(inside, m_log->viewport()->mapToGlobal(inside), QPoint(), QPoint(0, 120),
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_log->viewport(), &up);
    QCOMPARE(m_log->currentRow(), 499);
    QVERIFY(logLook(false) != atEnd);

    // The next line is shown, current, at the end.
    text.append(u"new"_s);
    m_log->AppendLine(text.last());
    QCOMPARE(m_log->currentRow(), 500);
    QVERIFY(logLook(false) == listLook(text, 500, false));

    // A line too long for the width brings a horizontal scroll bar, which takes a row's
    // height away: the new line is still the one in view.
    text.append(u"12:00:00 -> "_s + QString(400, u'w'));
    m_log->AppendLine(text.last());
    QVERIFY(m_log->horizontalScrollBar()->maximum() > 0);
    QVERIFY(logLook(false) == listLook(text, 501, false));
}

void tst_LogList::accessibleList_data()
{
    QTest::addColumn<QStringList>("steps"); // as in appendAndClear
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("selected");

    QTest::newRow("empty") << QStringList() << QStringList() << -1;
    QTest::newRow("one by one") << QStringList{u"+a"_s, u"+b"_s} << QStringList{u"a"_s, u"b"_s}
                                << 1;
    QTest::newRow("current set by hand")
        << QStringList{u"+a,b,c"_s, u"=0"_s} << QStringList{u"a"_s, u"b"_s, u"c"_s} << 0;
    QTest::newRow("cleared") << QStringList{u"+a,b"_s, u"clear"_s} << QStringList() << -1;
    QTest::newRow("new lines after clearing")
        << QStringList{u"+a,b,c"_s, u"clear"_s, u"+d,e"_s} << QStringList{u"d"_s, u"e"_s} << 1;
}

void tst_LogList::accessibleList()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, names);
    QFETCH(int, selected);

    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(m_log);
    QVERIFY(list && list->tableInterface());
    QCOMPARE(list->role(), QAccessible::List);
    // A client reads the tree after every step, so rows it has seen must follow later ones.
    for (const QString &step : steps) {
        Apply(*m_log, step);
        for (int row = 0; row < list->childCount(); ++row)
            QVERIFY(!list->child(row)->text(QAccessible::Name).isNull());
    }

    QCOMPARE(list->childCount(), names.size());
    QCOMPARE(list->child(names.size()), nullptr);
    for (int row = 0; row < names.size(); ++row) {
        QAccessibleInterface *line = list->child(row);
        QCOMPARE(line->role(), QAccessible::ListItem);
        QCOMPARE(line->text(QAccessible::Name), names.at(row));
        QCOMPARE(bool(line->state().selected), row == selected);
        QCOMPARE(list->indexOfChild(line), row);
        QCOMPARE(line->parent(), list);
    }
    QCOMPARE(list->tableInterface()->selectedRows(),
             selected >= 0 ? QList<int>{selected} : QList<int>());
    // A list view's focus child is its current row also while another control has the focus.
    QVERIFY(TakeFocus(m_focusElsewhere));
    QCOMPARE(list->focusChild(), list->child(selected));
}

QTEST_MAIN(tst_LogList)
#include "tst_loglist.moc"
