#pragma once

#include <QString>
#include <QStringList>

// The rules of the criteria lists' add, remove and move commands; the window asks the
// user and applies the decision.
namespace criteriaedit {

enum class List { Beginning, Interior, End };

struct AddTexts
{
    QString prompt;
    QString title;
};

AddTexts AddTextsFor(List list);

// "The <kind> variable '<entry>' already exists."
QString AlreadyExists(List list, const QString &entry);

// "Are you sure you want to remove the <kind> variable '<entry>'?"
QString ConfirmRemove(List list, const QString &entry);

enum class AddDecision { Append, Duplicate, Empty };

// The duplicate test comes first and is exact; only the emptiness test trims, and only
// spaces.
AddDecision DecideAdd(const QStringList &entries, const QString &entry);

inline const QString kEndExistsTitle = QStringLiteral("End exists");
inline const QString kConfirmIntentTitle = QStringLiteral("Confirm intent");
inline const QString kHumanErrorTitle = QStringLiteral("Human error");
inline const QString kEmptyVariable = QStringLiteral("You can not add an empty variable.");

} // namespace criteriaedit
