#include "helprules.h"

#include "numbers.h"

#include <QDir>
#include <QUrl>

namespace helprules {

QString HelpStartPage(const QString &programFolder)
{
    const QString path = QDir(programFolder).filePath(QStringLiteral("Help/default.htm"));
    return QUrl::fromLocalFile(QDir::cleanPath(path)).toString();
}

bool IsCloseMessage(const QString &location)
{
    return location.endsWith(QStringLiteral("CloseWindow"), Qt::CaseSensitive);
}

bool ShowHelpAtStart(const std::optional<QString> &stored)
{
    if (!stored)
        return true;
    const QString text = stored->trimmed();
    if (text.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0)
        return false;
    // A boolean stored as a number reads false exactly when it is zero.
    const std::optional<double> number = numbers::ToNumber(text);
    return !(number && *number == 0);
}

} // namespace helprules
