#pragma once

#include <QPoint>
#include <QSize>

// The main window's resize rule, in twips. The window measures itself, calls Compute
// and applies the answer; a size that would be negative keeps its current value.
namespace mainlayout {

inline constexpr int kHelpWidth = 4150;
inline constexpr int kTabStatusViewTop = 780;
inline constexpr int kLstLogHeight = 1035;

// Everything the rule places or sizes.
struct Geometry
{
    QSize tabMain;
    QPoint cmdStop;
    QPoint cmdGo;
    int lblLocationWidth = 0;
    QSize tabStatusView;
    int lstLogTop = 0;
    int lstLogWidth = 0;
    QSize rtfCode;
    QSize browser;
    QSize wbHelp;
    int wbHelpLeft = 0;

    bool operator==(const Geometry &) const = default;
};

struct Input
{
    int clientWidth = 0;  // W
    int clientHeight = 0; // H
    int statusHeight = 0;
    bool helpVisible = false;
    int tabStatusViewTop = kTabStatusViewTop;
    int lstLogHeight = kLstLogHeight;
    Geometry current; // kept wherever a step's result is not a valid size
};

Geometry Compute(const Input &input);

} // namespace mainlayout
