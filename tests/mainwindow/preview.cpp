// Shows the main window with fake collaborators, for a look or a screenshot.
// Usage: mainwindow_preview [setup|status|help]
#include "fakes.h"
#include "frmmain.h"

#include <QAction>
#include <QApplication>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>

#include <unistd.h>

int main(int argc, char *argv[])
{
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The web views share OpenGL contexts; this must be said before the application starts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    // Leave the user's own settings alone.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    {
        QSettings settings(QStringLiteral("Linkhauler"), QStringLiteral("Linkhauler"));
        settings.setValue(QStringLiteral("Settings/ShowHelp"), QStringLiteral("False"));
    }

    const QString view = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("setup");
    FakeTransfer inet;
    frmMain window(inet);
    window.move(0, 0);
    window.show();
    if (view == QStringLiteral("status"))
        window.findChild<QTabWidget *>(QStringLiteral("tabMain"))->setCurrentIndex(1);
    if (view == QStringLiteral("help")) {
        const auto actions = window.findChildren<QAction *>(QStringLiteral("mnuHelpHelpBrowser"));
        if (!actions.isEmpty())
            actions.first()->trigger();
    }
    return QApplication::exec();
}
