#pragma once

#include <QString>

#include <functional>

class QWidget;

// The shell's message boxes, behind a seam so a test can take the message
// instead of a box waiting for a click.
namespace ShellPrompts {

using InformationHandler =
    std::function<void(QWidget *owner, const QString &title, const QString &text)>;

// A modal box with an information icon and an OK button; returns when it is dismissed.
void Information(QWidget *owner, const QString &title, const QString &text);

// Replaces the real box; an empty handler puts the real box back.
void SetInformationHandler(InformationHandler handler);

} // namespace ShellPrompts
