#include "modmain.h"

#include "componentfolderpicker.h"
#include "curltransfer.h"
#include "frmmain.h"
#include "frmsplash.h"
#include "makerinfo.h"
#include "shellwindows.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QUrl>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace modMain {

bool SplashShown = false;

namespace {
ShellOpenHandler &shellOpenSlot()
{
    static ShellOpenHandler handler;
    return handler;
}

QIcon programIcon()
{
    QIcon icon;
    for (const int size : {48, 128, 256})
        icon.addFile(u":/shell/linkhauler-%1.png"_s.arg(size), QSize(size, size));
    return icon;
}
} // namespace

void ShellOpen(const QString &address)
{
    if (const auto &handler = shellOpenSlot()) {
        handler(address);
        return;
    }
    QDesktopServices::openUrl(QUrl(address));
}

void SetShellOpenHandler(ShellOpenHandler handler)
{
    shellOpenSlot() = std::move(handler);
}

int Main(int argc, char *argv[])
{
    // Chromium's sandbox cannot run as root; keep it for everyone else.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The embedded browsers share one graphics context; this must precede the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    QApplication app(argc, argv);
    QApplication::setApplicationName(MakerInfo::AppTitle());
    QApplication::setOrganizationName(MakerInfo::OrganizationName());
    QApplication::setApplicationVersion(MakerInfo::AppVersion());
    QApplication::setWindowIcon(programIcon());

    {
        frmSplash splash;
        splash.exec();
    }
    SplashShown = true;

    // The transfer component outlives the window that uses it.
    CurlTransfer inet;
    frmMain window(inet);
    // bwMain: the picker control, created as the main window loads.
    ComponentFolderPicker bwMain;
    window.setFolderPicker(&bwMain);
    window.setShellCommands(ShellCommands{&ShowSupport, &ShowFeedback, &ShowAbout});
    window.show();
    return QApplication::exec();
}

} // namespace modMain
