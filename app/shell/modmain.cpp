#include "modmain.h"

#include <QApplication>
#include <QMainWindow>

#include <unistd.h>

namespace modMain {

int Main(int argc, char *argv[])
{
    // Chromium's sandbox cannot run as root; keep it for everyone else.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Linkhauler"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Linkhauler v1.0 BETA"));
    window.resize(938, 572);
    window.show();
    return QApplication::exec();
}

} // namespace modMain
