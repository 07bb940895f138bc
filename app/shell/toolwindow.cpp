#include "toolwindow.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

void PrepareToolWindow(QDialog *window, QWidget *owner, int width, int height)
{
    window->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowCloseButtonHint);
    window->setFixedSize(width, height);
    window->setSizeGripEnabled(false);
    QRect area;
    if (owner)
        area = owner->window()->frameGeometry();
    else if (QScreen *screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        window->move(area.center() - QPoint(width / 2, height / 2));
}
