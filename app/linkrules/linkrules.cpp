#include "linkrules.h"

#include "failurecodes.h"
#include "numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <filesystem>
#include <system_error>

using namespace Qt::StringLiterals;

namespace linkrules {

namespace {

// Texts longer than this overflow the 16-bit character counters the naming rules count with.
constexpr qsizetype kMaxTextLength = 32767;

void ThrowOverflowIfTooLong(const QString &text)
{
    if (text.size() > kMaxTextLength)
        throw RuleError(failurecodes::kOverflow, u"Overflow"_s);
}

bool HoldsControlCharacter(QStringView text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// The part of a name after its last "/": the file name proper.
QString LastSegment(const QString &name)
{
    return name.mid(name.lastIndexOf(u'/') + 1);
}

// A last segment that could leave the folder, name another file system object or confuse
// tools: "." and "..", the platform's own separator, control characters. An empty segment
// is allowed: it stands for the folder itself.
bool IsUnsafeSegment(const QString &segment)
{
    return segment == u"."_s || segment == u".."_s || segment.contains(QDir::separator())
        || HoldsControlCharacter(segment);
}

// Creates one folder whose parent exists.
void MakeFolder(const QString &path)
{
    std::error_code error;
    const std::filesystem::path native(QFile::encodeName(path).toStdString());
    std::filesystem::create_directory(native, error);
    if (error)
        throw RuleError(failurecodes::kFileAccess,
                        u"Cannot create the folder \"%1\": %2"_s.arg(
                            path, QString::fromLocal8Bit(error.message())));
}

} // namespace

RuleError::RuleError(int code, const QString &description)
    : std::runtime_error(description.toStdString())
    , m_code(code)
    , m_description(description)
{
}

const std::array<QString, 7> &InvalidChars()
{
    static const std::array<QString, 7> table{u"?"_s, u"\""_s, u"<"_s, u">"_s,
                                              u"*"_s, u"|"_s,  u":"_s};
    return table;
}

bool ValidFilename(const QString &text)
{
    return std::none_of(InvalidChars().begin(), InvalidChars().end(),
                        [&text](const QString &c) { return text.contains(c); });
}

QString GetPath(const QString &link, const QString &targetAddress)
{
    if (link.startsWith(u"http://"_s) || link.startsWith(u"https://"_s)
        || link.startsWith(u"ftp://"_s))
        return link;

    QString relative = link;
    if (relative.startsWith(u'/'))
        relative.remove(0, 1);

    const QStringList parts = targetAddress.split(u'/');
    const qsizetype n = parts.size() - 1;
    QString directories;
    for (qsizetype i = 3; i <= n - 1; ++i)
        directories += parts[i] + u'/';
    ThrowOverflowIfTooLong(directories);
    if (n < 2)
        throw RuleError(failurecodes::kSubscriptOutOfRange, u"Subscript out of range"_s);

    qsizetype common = 0;
    while (common < directories.size() && common < relative.size()
           && directories[common] == relative[common])
        ++common;
    if (common > 0)
        relative.replace(directories.left(common), QString());

    QString result = parts[0] + u"//"_s + parts[2] + u'/' + directories + relative;
    result.replace(u"&amp;"_s, u"&"_s);
    return result;
}

// The path returned always lies inside `folder` (or is the folder itself): only the last
// "/"-segment of the name is used, and a segment that could escape (".", "..", one holding
// the separator or a control character) is replaced by the numbered name. The numbered name
// comes partly from the user's default extension, which may hold "/" or worse; when its own
// last segment is unsafe or empty, the number's text alone is used, which always is a plain
// name.
namespace {
// The page's own name, number + "." + extension, kept to a safe name inside the folder.
QString NumberedName(double currentNumber, const QString &defaultExtension)
{
    const QString number = numbers::ToText(currentNumber);
    const QString fileName = LastSegment(number + u'.' + defaultExtension);
    if (fileName.isEmpty() || IsUnsafeSegment(fileName))
        return number;
    return fileName;
}
} // namespace

QString GetFilename(const QString &name, const QString &folder, double currentNumber,
                    const QString &defaultExtension)
{
    ThrowOverflowIfTooLong(name);
    if (folder.isEmpty())
        throw RuleError(failurecodes::kPathNotFound,
                        u"No folder was given for the file \"%1\"."_s.arg(name));

    QString fileName = LastSegment(name);
    if (!ValidFilename(name) || IsUnsafeSegment(fileName))
        fileName = NumberedName(currentNumber, defaultExtension);

    const QChar separator = QDir::separator();
    if (!QFileInfo::exists(folder)) {
        const QStringList parts = folder.split(separator);
        QString path = parts[0]; // a root or drive part is never tested or made
        for (qsizetype k = 1; k < parts.size(); ++k) {
            path += separator + parts[k];
            if (!QFileInfo::exists(path))
                MakeFolder(path);
        }
    }

    if (folder.endsWith(separator))
        return folder + fileName;
    return folder + separator + fileName;
}

QString LinkListPath(const QString &folder, double currentNumber, const QString &defaultExtension)
{
    const QString name = NumberedName(currentNumber, defaultExtension);
    if (folder.isEmpty())
        throw RuleError(failurecodes::kPathNotFound,
                        u"No folder was given for the file \"%1\"."_s.arg(name));
    const QChar separator = QDir::separator();
    QString path = folder + separator + name;
    path.replace(QString(2, separator), QString(separator));
    return path;
}

const std::array<QString, 52> &Letters()
{
    static const std::array<QString, 52> table = [] {
        std::array<QString, 52> letters;
        for (int i = 0; i < 52; i += 2) {
            letters[static_cast<std::size_t>(i)] = QChar(u'A' + i / 2);
            letters[static_cast<std::size_t>(i + 1)] = QChar(u'a' + i / 2);
        }
        return letters;
    }();
    return table;
}

std::optional<int> GetAsc(const QString &text)
{
    const auto &letters = Letters();
    const auto it = std::find(letters.begin(), letters.end(), text);
    if (it == letters.end())
        return std::nullopt;
    return static_cast<int>(it - letters.begin());
}

QString TrimSpaces(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

numbers::CountingLoop LetterLoop(const QString &startAlpha, const QString &stopAlpha,
                                 double increment)
{
    const int last = GetAsc(stopAlpha).value_or(0);
    const int first = GetAsc(startAlpha).value_or(0);
    return numbers::CountingLoop(first, last, 2 * increment);
}

std::optional<QString> LetterAt(double value)
{
    const double position = numbers::RoundHalfEven(value);
    if (!(position >= 0 && position < static_cast<double>(Letters().size())))
        return std::nullopt;
    return Letters()[static_cast<std::size_t>(position)];
}

std::vector<int> LetterPositions(const QString &startAlpha, const QString &stopAlpha,
                                 double increment, std::size_t maxPositions)
{
    std::vector<int> positions;
    numbers::CountingLoop loop = LetterLoop(startAlpha, stopAlpha, increment);
    for (; loop.Running() && positions.size() < maxPositions; loop.Advance())
        positions.push_back(static_cast<int>(numbers::RoundHalfEven(loop.Value())));
    return positions;
}

bool CheckExtension(const QString &link, const Criteria &criteria)
{
    if (criteria.beginning.isEmpty() && criteria.interior.isEmpty() && criteria.end.isEmpty())
        return true;

    const auto any = [](const QStringList &entries, auto matches) {
        return std::any_of(entries.begin(), entries.end(), matches);
    };
    const bool b = any(criteria.beginning, [&](const QString &e) { return link.startsWith(e); });
    const bool i = any(criteria.interior, [&](const QString &e) { return link.contains(e); });
    const bool e = any(criteria.end, [&](const QString &x) { return link.endsWith(x); });

    // And binds more tightly than Or.
    if (criteria.or1 && criteria.or2)
        return b || i || e;
    if (criteria.or1)
        return b || (i && e);
    if (criteria.or2)
        return (b && i) || e;
    return b && i && e;
}

void TrimList(QStringList &links, const Criteria &criteria)
{
    links.removeIf([&criteria](const QString &link) { return !CheckExtension(link, criteria); });
}

} // namespace linkrules
