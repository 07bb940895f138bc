// Shows one of the library's windows for a look or a screenshot:
// folderpick_demo folder|file|about
#include <QApplication>
#include <QTimer>

#include "ctlfolderpick.h"
#include "frmabout.h"

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString which = app.arguments().value(1, u"folder"_s);
    if (which == u"about"_s) {
        frmAbout about;
        return about.exec();
    }
    auto *control = new ctlFolderpick;
    const QString result = which == u"file"_s ? control->ShowBrowseFile(QString(), u"*.txt;*.md"_s)
                                              : control->ShowBrowseFolder(QString());
    control->Release();
    qInfo("%s", qPrintable(result));
    return 0;
}
