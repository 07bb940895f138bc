#include "modmain.h"

#include "browserengine.h"
#include "componentfolderpicker.h"
#include "curltransfer.h"
#include "frmmain.h"
#include "frmsplash.h"
#include "makerinfo.h"
#include "shellwindows.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QSocketNotifier>
#include <QUrl>

#include <csignal>
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

// A session ending or a terminal's Ctrl+C closes the main window the ordinary way, so a
// transfer in progress is cancelled instead of the process dying mid-write.
int quitPipe[2] = {-1, -1};

void onQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(quitPipe[1], &byte, 1);
}

void closeOnQuitSignals(QWidget *window)
{
    if (::pipe(quitPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window, notifier] {
        char byte;
        [[maybe_unused]] const auto got = ::read(quitPipe[0], &byte, 1);
        notifier->setEnabled(false);
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
        window->close();
        // Every event loop ends too: what the closed box's caller shows next (an input box
        // answered empty says so) opens no loop that would hold the program.
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
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
    PrepareBrowserEngine();
    QApplication app(argc, argv);
    UseSystemProxy();
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
    window.SetFolderPicker(&bwMain);
    window.SetShellCommands(ShellCommands{&ShowSupport, &ShowFeedback, &ShowAbout});
    // Only now: the browser engine resets signal handling while the window builds its views.
    closeOnQuitSignals(&window);
    window.show();
    return QApplication::exec();
}

} // namespace modMain
