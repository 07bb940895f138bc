#include "shellprompts.h"

#include <QMessageBox>

namespace ShellPrompts {

namespace {
InformationHandler &handlerSlot()
{
    static InformationHandler handler;
    return handler;
}
} // namespace

void Information(QWidget *owner, const QString &title, const QString &text)
{
    if (const auto &handler = handlerSlot()) {
        handler(owner, title, text);
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, owner);
    box.exec();
}

void SetInformationHandler(InformationHandler handler)
{
    handlerSlot() = std::move(handler);
}

} // namespace ShellPrompts
