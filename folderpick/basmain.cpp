#include "basmain.h"

#include <QPainter>
#include <QPainterPath>

namespace basMain {

QString &ReturnValue()
{
    thread_local QString value;
    return value;
}

QImage Icon()
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor outline(0x80, 0x60, 0x00);

    // A manila folder, its tab on the back sheet...
    QPainterPath back;
    back.moveTo(2, 8);
    back.lineTo(11, 8);
    back.lineTo(14, 11);
    back.lineTo(28, 11);
    back.lineTo(28, 27);
    back.lineTo(2, 27);
    back.closeSubpath();
    painter.setPen(QPen(outline, 1));
    painter.setBrush(QColor(0xE0, 0xB0, 0x30));
    painter.drawPath(back);
    painter.setBrush(QColor(0xFF, 0xD8, 0x60));
    painter.drawRect(QRectF(2.5, 14.5, 25, 12.5));

    // ...and a pointing arrow that picks it.
    QPainterPath arrow;
    arrow.moveTo(18, 16);
    arrow.lineTo(18, 30);
    arrow.lineTo(21.5, 26.5);
    arrow.lineTo(24, 31);
    arrow.lineTo(26, 30);
    arrow.lineTo(23.5, 25.5);
    arrow.lineTo(28, 25.5);
    arrow.closeSubpath();
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawPath(arrow);
    return image;
}

Qt::WindowFlags ToolWindowFlags(bool closeBox)
{
    Qt::WindowFlags flags = Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
        | Qt::WindowTitleHint;
    if (closeBox)
        flags |= Qt::WindowCloseButtonHint;
    return flags;
}

} // namespace basMain
