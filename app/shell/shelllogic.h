#pragma once

#include <QString>

// The rules behind the feedback and support windows, kept apart from the windows
// so they can be checked without showing anything.
namespace ShellLogic {

// Digits and at most one "."; the empty text passes too.
bool ValidAmount(const QString &amount);

// The feedback form with the program's identity in its query.
QString FeedbackAddress(const QString &page, const QString &title, const QString &version);

// The payment request handed to the user's browser; the amount goes in exactly as typed.
QString PaymentAddress(const QString &secureBase, const QString &account, const QString &title,
                       const QString &version, const QString &amount);

// The feedback page ends the exchange by going to an address ending in "Close".
bool IsCloseAddress(const QString &address);

} // namespace ShellLogic
