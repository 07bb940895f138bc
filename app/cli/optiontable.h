#pragma once

#include "optionparser.h"
#include "runsettings.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// How each option of the command line acts on the settings, so that the options of one subject
// can live in a file of their own.
namespace optiontable {

// What one option does to the settings; `values` holds every value given for it (one entry for
// a flag), in order. The message, when there is one, refuses the command line.
using Apply = std::function<std::optional<QString>(const QStringList &values, RunSettings &)>;

struct Option
{
    optionparser::Option syntax;
    Apply apply;
};

// An option in the section that the options before it started.
struct Section
{
    QString heading;
    std::function<void(Option)> add;

    void operator()(const QString &name, const QString &letters, const QString &valueName,
                    const QString &description, Apply apply) const
    {
        add(Option{optionparser::Option{name, letters, valueName, description, heading},
                   std::move(apply)});
    }
};

QString Last(const QStringList &values);

// An option naming a file of the program's own.
Apply FileOf(QString RunSettings::*field);

Apply Flag(std::function<void(RunSettings &)> set);

// A whole number from `least` to 2147483647.
Apply Count(const QString &option, int least, std::function<int &(RunSettings &)> target);

} // namespace optiontable
