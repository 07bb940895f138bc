// Shows one of the shell's windows for a screenshot: lh_shell_preview splash|support|feedback
// [page]|help [file] The feedback window can be pointed at a local page, since the maker's form
// needs the internet.

#include "frmfeedback.h"
#include "frmsplash.h"
#include "frmsupport.h"
#include "makerinfo.h"
#include "modmain.h"

#include <QApplication>
#include <QMainWindow>
#include <QUrl>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(MakerInfo::AppTitle());
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"splash"_s;
    const QString extra = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    modMain::SplashShown = true;
    modMain::SetShellOpenHandler([](const QString &) {});

    QMainWindow owner;
    owner.setWindowTitle(u"Linkhauler v1.0 BETA"_s);
    owner.resize(938, 572);
    if (what == u"help") {
        auto *view = new QWebEngineView(&owner);
        view->setUrl(QUrl::fromLocalFile(extra));
        owner.setCentralWidget(view);
        owner.resize(276, 1300);
        owner.show();
        return QApplication::exec();
    }
    owner.show();
    if (what == u"support") {
        frmSupport window(&owner);
        return window.exec();
    }
    if (what == u"feedback") {
        frmFeedback window(&owner, extra);
        return window.exec();
    }
    frmSplash window(&owner);
    return window.exec();
}
