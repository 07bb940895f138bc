#pragma once

#include <QString>

#include <optional>

// The rules around the help pane that do not need a window.
namespace helprules {

// The help start page beside the program, as a file address.
QString HelpStartPage(const QString &programFolder);

// A help page closes the pane by going to an address that ends in "CloseWindow".
bool IsCloseMessage(const QString &location);

// The stored first-start flag: absent, or anything that does not read as false,
// means the pane opens by itself.
bool ShowHelpAtStart(const std::optional<QString> &stored);

inline const QString kShowHelpWritten = QStringLiteral("False");

} // namespace helprules
