#include "mainlayout.h"

#include <QTest>

using mainlayout::Geometry;
using mainlayout::Input;

Q_DECLARE_METATYPE(mainlayout::Input)
Q_DECLARE_METATYPE(mainlayout::Geometry)

namespace {

// The window as built, before any layout: help pane 4150 wide, the rest unsized.
Geometry Built()
{
    Geometry g;
    g.wbHelp = QSize(4150, 0);
    return g;
}

// The layout of a 14070 x 8580 client with a 345 status bar and the help pane closed.
Geometry FullSizeClosed()
{
    Geometry g;
    g.tabMain = QSize(14070, 8235);
    g.cmdStop = QPoint(12615, 8280);
    g.cmdGo = QPoint(13275, 8280);
    g.lblLocationWidth = 13050;
    g.tabStatusView = QSize(13830, 6200);
    g.lstLogTop = 7040;
    g.lstLogWidth = 13830;
    g.rtfCode = QSize(13590, 5640);
    g.browser = QSize(13590, 5640);
    g.wbHelp = QSize(4150, 8520);
    g.wbHelpLeft = 9920;
    return g;
}

Input Client(int w, int h, bool help, const Geometry &current)
{
    Input in;
    in.clientWidth = w;
    in.clientHeight = h;
    in.statusHeight = 345;
    in.helpVisible = help;
    in.current = current;
    return in;
}

} // namespace

class tst_MainLayout : public QObject
{
    Q_OBJECT

private slots:
    void compute_data();
    void compute();
    void minimiseAndRestoreGivesSameLayout();
};

void tst_MainLayout::compute_data()
{
    QTest::addColumn<Input>("input");
    QTest::addColumn<Geometry>("expected");

    QTest::newRow("designed size, help closed")
        << Client(14070, 8580, false, Built()) << FullSizeClosed();

    Geometry open = FullSizeClosed();
    open.tabMain = QSize(9920, 8235);
    open.lblLocationWidth = 8900;
    open.tabStatusView = QSize(9680, 6200);
    open.lstLogWidth = 9680;
    open.rtfCode = QSize(9440, 5640);
    open.browser = QSize(9440, 5640);
    QTest::newRow("designed size, help open")
        << Client(14070, 8580, true, FullSizeClosed()) << open;
    QTest::newRow("help closed again") << Client(14070, 8580, false, open) << FullSizeClosed();

    // Too small for most sizes: those keep their values, positions still follow.
    Geometry tiny = FullSizeClosed();
    tiny.tabMain = QSize(1000, 8235);
    tiny.cmdStop = QPoint(-455, 0);
    tiny.cmdGo = QPoint(205, 0);
    tiny.tabStatusView = QSize(760, 6200);
    tiny.lstLogWidth = 760;
    tiny.rtfCode = QSize(520, 5640);
    tiny.browser = QSize(520, 5640);
    tiny.wbHelp = QSize(4150, 240);
    tiny.wbHelpLeft = 1000 - 4150;
    QTest::newRow("tiny client") << Client(1000, 300, false, FullSizeClosed()) << tiny;

    // Help open on a client narrower than the pane: the tab width would be negative.
    Geometry narrow = FullSizeClosed();
    narrow.tabMain = QSize(14070, 2655);
    narrow.cmdStop = QPoint(2000 - 1455, 2700);
    narrow.cmdGo = QPoint(2000 - 795, 2700);
    narrow.tabStatusView = QSize(13830, 620);
    narrow.lstLogTop = 780 + 620 + 60;
    narrow.rtfCode = QSize(13590, 60);
    narrow.browser = QSize(13590, 60);
    narrow.wbHelp = QSize(4150, 2940);
    narrow.wbHelpLeft = 2000 - 4150;
    QTest::newRow("help wider than the client")
        << Client(2000, 3000, true, FullSizeClosed()) << narrow;

    // A minimised window reports an empty client: zero is a valid width.
    Geometry minimised = FullSizeClosed();
    minimised.tabMain = QSize(0, 8235);
    minimised.cmdStop = QPoint(-1455, -300);
    minimised.cmdGo = QPoint(-795, -300);
    minimised.wbHelpLeft = -4150;
    QTest::newRow("minimised") << Client(0, 0, false, FullSizeClosed()) << minimised;
}

void tst_MainLayout::compute()
{
    QFETCH(Input, input);
    QFETCH(Geometry, expected);
    const Geometry actual = mainlayout::Compute(input);
    QCOMPARE(actual.tabMain, expected.tabMain);
    QCOMPARE(actual.cmdStop, expected.cmdStop);
    QCOMPARE(actual.cmdGo, expected.cmdGo);
    QCOMPARE(actual.lblLocationWidth, expected.lblLocationWidth);
    QCOMPARE(actual.tabStatusView, expected.tabStatusView);
    QCOMPARE(actual.lstLogTop, expected.lstLogTop);
    QCOMPARE(actual.lstLogWidth, expected.lstLogWidth);
    QCOMPARE(actual.rtfCode, expected.rtfCode);
    QCOMPARE(actual.browser, expected.browser);
    QCOMPARE(actual.wbHelp, expected.wbHelp);
    QCOMPARE(actual.wbHelpLeft, expected.wbHelpLeft);
}

void tst_MainLayout::minimiseAndRestoreGivesSameLayout()
{
    const Geometry before = mainlayout::Compute(Client(14070, 8580, false, Built()));
    const Geometry minimised = mainlayout::Compute(Client(0, 0, false, before));
    const Geometry restored = mainlayout::Compute(Client(14070, 8580, false, minimised));
    QCOMPARE(restored, before);
}

QTEST_APPLESS_MAIN(tst_MainLayout)
#include "tst_mainlayout.moc"
