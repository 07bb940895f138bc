#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The command line's syntax, the one scripts type for every other tool: short options combine
// and take their value attached or as the next argument (-qo out, -oout), long options take
// --name=value or --name value, "--" ends the options, and a word after a single dash is a run
// of short options, never a long one.
namespace optionparser {

struct Option
{
    QString name;    // the long name, without "--"
    QString letters; // each letter a short name of the option; empty: none
    // What the value stands for in the help ("FILE"); empty: a flag, which takes no value.
    QString valueName;
    QString description;
    // The heading of the help's section; an option with another one than the last starts one.
    QString section;
};

struct Given
{
    std::size_t option = 0; // into the options parsed with
    QString value;          // empty for a flag
};

struct Parsed
{
    std::vector<Given> given; // in the order of the command line
    QStringList operands;     // the arguments that are no options, in order
    // One line naming the option at fault and where to read about them; empty: none.
    QString error;
};

// `arguments` without the program's name.
Parsed Parse(const std::vector<Option> &options, const QStringList &arguments);

// The options with their descriptions, in sections, wrapped to 79 columns.
QString OptionsHelp(const std::vector<Option> &options);

// The text wrapped to `width` columns at blanks, every line after `indent` blanks; "\n" in the
// text starts a new line.
QString Wrapped(const QString &text, int indent, int width);

} // namespace optionparser
