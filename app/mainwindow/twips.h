#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <cmath>

// The window is designed in twips; 15 twips make one logical pixel.
namespace twips {

inline constexpr int kPerPixel = 15;

inline int ToPixels(int value)
{
    return static_cast<int>(std::lround(static_cast<double>(value) / kPerPixel));
}

inline constexpr int FromPixels(int pixels)
{
    return pixels * kPerPixel;
}

inline QRect Rect(int left, int top, int width, int height)
{
    return {ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height)};
}

inline QPoint ToPixels(QPoint p)
{
    return {ToPixels(p.x()), ToPixels(p.y())};
}

inline QSize ToPixels(QSize s)
{
    return {ToPixels(s.width()), ToPixels(s.height())};
}

inline QSize FromPixels(QSize s)
{
    return {FromPixels(s.width()), FromPixels(s.height())};
}

} // namespace twips
