#include "prompts.h"

#include <QInputDialog>
#include <QMessageBox>

namespace {

QMessageBox::Icon ToMessageBoxIcon(Prompts::Icon icon)
{
    switch (icon) {
    case Prompts::Icon::Critical:
        return QMessageBox::Critical;
    case Prompts::Icon::Warning:
        return QMessageBox::Warning;
    case Prompts::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void DialogPrompts::MsgBox(const QString &text, const QString &title, Icon icon)
{
    QMessageBox box(ToMessageBoxIcon(icon), title, text, QMessageBox::Ok, m_owner);
    box.exec();
}

bool DialogPrompts::YesNo(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, m_owner);
    return box.exec() == QMessageBox::Yes;
}

QString DialogPrompts::InputBox(const QString &prompt, const QString &title)
{
    bool ok = false;
    const QString text = QInputDialog::getText(m_owner, title, prompt, QLineEdit::Normal, QString(),
                                               &ok);
    return ok ? text : QString();
}
