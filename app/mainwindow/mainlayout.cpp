#include "mainlayout.h"

namespace mainlayout {

namespace {

// A size step applies only when its result is a valid size.
void SetSize(int &target, int value)
{
    if (value >= 0)
        target = value;
}

} // namespace

Geometry Compute(const Input &in)
{
    const int W = in.clientWidth;
    const int H = in.clientHeight;
    Geometry g = in.current;

    int tabMainWidth = g.tabMain.width();
    int tabMainHeight = g.tabMain.height();
    SetSize(tabMainWidth, in.helpVisible ? W - in.current.wbHelp.width() : W);
    SetSize(tabMainHeight, H - in.statusHeight);
    g.tabMain = QSize(tabMainWidth, tabMainHeight);

    g.cmdStop = QPoint(W - 1455, H - 300);
    g.cmdGo = QPoint(W - 795, H - 300);

    SetSize(g.lblLocationWidth, tabMainWidth - 1020);

    int statusViewWidth = g.tabStatusView.width();
    int statusViewHeight = g.tabStatusView.height();
    SetSize(statusViewHeight, tabMainHeight - in.lstLogHeight - 1000);
    SetSize(statusViewWidth, tabMainWidth - 240);
    g.tabStatusView = QSize(statusViewWidth, statusViewHeight);

    g.lstLogTop = in.tabStatusViewTop + statusViewHeight + 60;
    SetSize(g.lstLogWidth, tabMainWidth - 240);

    int w = g.rtfCode.width();
    int h = g.rtfCode.height();
    SetSize(w, statusViewWidth - 240);
    SetSize(h, statusViewHeight - 560);
    g.rtfCode = QSize(w, h);

    w = g.browser.width();
    h = g.browser.height();
    SetSize(w, statusViewWidth - 240);
    SetSize(h, statusViewHeight - 560);
    g.browser = QSize(w, h);

    w = g.wbHelp.width();
    h = g.wbHelp.height();
    SetSize(w, kHelpWidth);
    SetSize(h, H - 60);
    g.wbHelp = QSize(w, h);
    g.wbHelpLeft = W - w;

    return g;
}

} // namespace mainlayout
