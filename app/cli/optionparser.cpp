#include "optionparser.h"

#include <optional>

using namespace Qt::StringLiterals;

namespace optionparser {

namespace {

constexpr int kHelpWidth = 79;
constexpr int kDescriptionColumn = 30;

QString Hint()
{
    return u"; see linkhauler-run --help."_s;
}

std::optional<std::size_t> ByName(const std::vector<Option> &options, const QString &name)
{
    for (std::size_t i = 0; i < options.size(); ++i)
        if (options[i].name == name)
            return i;
    return std::nullopt;
}

std::optional<std::size_t> ByLetter(const std::vector<Option> &options, QChar letter)
{
    for (std::size_t i = 0; i < options.size(); ++i)
        if (options[i].letters.contains(letter))
            return i;
    return std::nullopt;
}

QString NeedsValue(const QString &spelled)
{
    return u"Option \"%1\" needs a value"_s.arg(spelled) + Hint();
}

// "--name=value" or "--name value"; false with the error set.
bool ReadLong(const std::vector<Option> &options, const QStringList &arguments, qsizetype &i,
              Parsed &parsed)
{
    const QString word = arguments.at(i).mid(2);
    const qsizetype equals = word.indexOf(u'=');
    const QString name = equals < 0 ? word : word.left(equals);
    const auto option = ByName(options, name);
    if (!option) {
        parsed.error = u"Unknown option \"--%1\""_s.arg(name) + Hint();
        return false;
    }
    Given given{*option, {}};
    if (options[*option].valueName.isEmpty()) {
        if (equals >= 0) {
            parsed.error = u"Option \"--%1\" takes no value"_s.arg(name) + Hint();
            return false;
        }
    } else if (equals >= 0) {
        given.value = word.mid(equals + 1);
    } else if (i + 1 < arguments.size()) {
        given.value = arguments.at(++i);
    } else {
        parsed.error = NeedsValue(u"--"_s + name);
        return false;
    }
    parsed.given.push_back(given);
    return true;
}

// "-abc", "-ovalue" or "-o value"; false with the error set.
bool ReadShort(const std::vector<Option> &options, const QStringList &arguments, qsizetype &i,
               Parsed &parsed)
{
    const QString word = arguments.at(i);
    for (qsizetype at = 1; at < word.size(); ++at) {
        const QChar letter = word.at(at);
        const auto option = ByLetter(options, letter);
        if (!option) {
            // A letter outside the basic plane is two halves here: it is named whole.
            const QString named = word.mid(at, letter.isHighSurrogate() ? 2 : 1);
            parsed.error = u"Unknown option \"-%1\""_s.arg(named);
            if (word.size() > 2)
                parsed.error += u" in \"%1\""_s.arg(word);
            parsed.error += Hint();
            return false;
        }
        if (options[*option].valueName.isEmpty()) {
            parsed.given.push_back({*option, {}});
            continue;
        }
        if (at + 1 < word.size())
            parsed.given.push_back({*option, word.mid(at + 1)});
        else if (i + 1 < arguments.size())
            parsed.given.push_back({*option, arguments.at(++i)});
        else {
            parsed.error = NeedsValue(u"-"_s + letter);
            return false;
        }
        return true;
    }
    return true;
}

// "  -a, --address=URL" and where its description starts.
QString Synopsis(const Option &option)
{
    QString text = u"  "_s;
    for (const QChar letter : option.letters)
        text += u'-' + QString(letter) + u", "_s;
    if (option.letters.isEmpty())
        text += u"    "_s;
    text += u"--"_s + option.name;
    if (!option.valueName.isEmpty())
        text += u'=' + option.valueName;
    return text;
}

} // namespace

Parsed Parse(const std::vector<Option> &options, const QStringList &arguments)
{
    Parsed parsed;
    bool reading = true;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (!reading || word == u"-"_s || !word.startsWith(u'-')) {
            parsed.operands.append(word);
            continue;
        }
        if (word == u"--"_s) {
            reading = false;
            continue;
        }
        const bool read = word.startsWith(u"--"_s) ? ReadLong(options, arguments, i, parsed)
                                                   : ReadShort(options, arguments, i, parsed);
        if (!read)
            return parsed;
    }
    return parsed;
}

QString Wrapped(const QString &text, int indent, int width)
{
    const QString margin(indent, u' ');
    QString out;
    const QStringList paragraphs = text.split(u'\n');
    for (const QString &paragraph : paragraphs) {
        QString line;
        for (const QString &word : paragraph.split(u' ', Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && indent + line.size() + 1 + word.size() > width) {
                out += margin + line + u'\n';
                line.clear();
            }
            line += (line.isEmpty() ? QString() : u" "_s) + word;
        }
        out += margin + line + u'\n';
    }
    return out;
}

QString OptionsHelp(const std::vector<Option> &options)
{
    QString out;
    QString section;
    for (const Option &option : options) {
        if (option.section != section) {
            section = option.section;
            out += u'\n' + section + u":\n"_s;
        }
        const QString synopsis = Synopsis(option);
        QString description = Wrapped(option.description, kDescriptionColumn, kHelpWidth);
        if (synopsis.size() + 2 <= kDescriptionColumn)
            description.replace(0, synopsis.size(), synopsis);
        else
            description.prepend(synopsis + u'\n');
        out += description;
    }
    return out;
}

} // namespace optionparser
