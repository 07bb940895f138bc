#include "criteriaedit.h"

namespace criteriaedit {

namespace {

QString KindName(List list)
{
    switch (list) {
    case List::Beginning:
        return QStringLiteral("beginning");
    case List::Interior:
        return QStringLiteral("interior");
    case List::End:
        break;
    }
    return QStringLiteral("end");
}

bool IsBlankOfSpaces(const QString &text)
{
    for (const QChar c : text) {
        if (c != u' ')
            return false;
    }
    return true;
}

} // namespace

AddTexts AddTextsFor(List list)
{
    switch (list) {
    case List::Beginning:
        return {QStringLiteral("Please enter a beginning string:"),
                QStringLiteral("Add beginning variable")};
    case List::Interior:
        return {QStringLiteral("Please enter an interior string:"),
                QStringLiteral("Add interior variable")};
    case List::End:
        break;
    }
    return {QStringLiteral("Please enter an end string:"), QStringLiteral("Add end variable")};
}

QString AlreadyExists(List list, const QString &entry)
{
    return QStringLiteral("The ") + KindName(list) + QStringLiteral(" variable '") + entry
        + QStringLiteral("' already exists.");
}

QString ConfirmRemove(List list, const QString &entry)
{
    return QStringLiteral("Are you sure you want to remove the ") + KindName(list)
        + QStringLiteral(" variable '") + entry + QStringLiteral("'?");
}

AddDecision DecideAdd(const QStringList &entries, const QString &entry)
{
    if (entries.contains(entry, Qt::CaseSensitive))
        return AddDecision::Duplicate;
    if (IsBlankOfSpaces(entry))
        return AddDecision::Empty;
    return AddDecision::Append;
}

} // namespace criteriaedit
