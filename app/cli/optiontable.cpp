#include "optiontable.h"

using namespace Qt::StringLiterals;

namespace optiontable {

QString Last(const QStringList &values)
{
    return values.constLast();
}

Apply FileOf(QString RunSettings::*field)
{
    return [=](const QStringList &values, RunSettings &s) {
        s.*field = Last(values);
        return std::optional<QString>();
    };
}

Apply Flag(std::function<void(RunSettings &)> set)
{
    return [=](const QStringList &, RunSettings &s) {
        set(s);
        return std::optional<QString>();
    };
}

Apply Count(const QString &option, int least, std::function<int &(RunSettings &)> target)
{
    return [=](const QStringList &values, RunSettings &s) -> std::optional<QString> {
        bool ok = false;
        const int value = Last(values).toInt(&ok);
        if (!ok || value < least)
            return u"--%1 takes a whole number from %2 on, not \"%3\"."_s.arg(
                option, QString::number(least), Last(values));
        target(s) = value;
        return std::nullopt;
    };
}

} // namespace optiontable
