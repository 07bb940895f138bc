#include "ctlfolderpick.h"

#include <QApplication>
#include <QThread>

#include <exception>

#include "basmain.h"
#include "folderpickids.h"
#include "frmfilebrowse.h"
#include "frmfolderbrowse.h"

using namespace Qt::StringLiterals;

namespace {

// Widgets need a QApplication and its thread; anything else would abort the host.
QString GuiUnavailable()
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app)
        return u"Folderpick needs a QApplication to show its dialogs"_s;
    if (QThread::currentThread() != app->thread())
        return u"Folderpick shows its dialogs on the application's main thread only"_s;
    return {};
}

bool AllStrings(const QVariantList &args)
{
    for (const QVariant &arg : args) {
        if (arg.metaType().id() != QMetaType::QString)
            return false;
    }
    return true;
}

} // namespace

QString ctlFolderpick::ShowBrowseFolder(const QString &Title)
{
    basMain::ReturnValue().clear();
    frmFolderBrowse dialog;
    if (!Title.isEmpty())
        dialog.setWindowTitle(Title);
    dialog.exec();
    return basMain::ReturnValue();
}

QString ctlFolderpick::ShowBrowseFile(const QString &Title, const QString &Pattern)
{
    basMain::ReturnValue().clear();
    frmFileBrowse dialog;
    dialog.setWindowTitle(Title.isEmpty() ? u"Browse for a file..."_s : Title);
    dialog.SetPattern(Pattern.isEmpty() ? u"*.*"_s : Pattern);
    dialog.exec();
    return basMain::ReturnValue();
}

component::InvokeResult ctlFolderpick::Invoke(std::int32_t dispId, const QVariantList &args)
{
    using component::InvokeResult;
    qsizetype wanted = 0;
    if (dispId == folderpick::kDispShowBrowseFolder)
        wanted = 1;
    else if (dispId == folderpick::kDispShowBrowseFile)
        wanted = 2;
    else
        return InvokeResult::Failure(component::kMemberNotFound,
                                     u"ctlFolderpick has no member with dispatch ID 0x%1"_s.arg(
                                         quint32(dispId), 8, 16, QChar(u'0')));
    if (args.size() != wanted)
        return InvokeResult::Failure(
            component::kBadParamCount,
            u"Expected %1 argument(s), got %2"_s.arg(wanted).arg(args.size()));
    if (!AllStrings(args))
        return InvokeResult::Failure(component::kTypeMismatch,
                                     u"Every argument must be a string"_s);
    if (const QString why = GuiUnavailable(); !why.isEmpty())
        return InvokeResult::Failure(component::kFail, why);

    // Nothing may unwind into the host through the vtable.
    try {
        if (dispId == folderpick::kDispShowBrowseFolder)
            return InvokeResult::Success(ShowBrowseFolder(args.at(0).toString()));
        return InvokeResult::Success(ShowBrowseFile(args.at(0).toString(), args.at(1).toString()));
    } catch (const std::exception &e) {
        return InvokeResult::Failure(component::kFail, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return InvokeResult::Failure(component::kFail, u"Folderpick failed"_s);
    }
}
