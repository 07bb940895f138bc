#include "folderaccess.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace lists {

namespace {

bool Listable(const QString &folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

std::optional<QStringList> Entries(const QString &folder, QDir::Filters filters)
{
    if (!Listable(folder))
        return std::nullopt;
    // Hidden entries stay out, as in a classic list.
    return QDir(folder).entryList(filters | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

QString NormalisedFolder(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

std::optional<QStringList> Subfolders(const QString &folder)
{
    return Entries(folder, QDir::Dirs);
}

bool MatchesPattern(const QString &name, const QString &pattern)
{
    // Long-standing convention: "*.*" is "all files", not "names with a dot".
    const QString effective = pattern == u"*.*"_s ? u"*"_s : pattern;
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(effective));
    return re.isValid() && re.match(name).hasMatch();
}

std::optional<QStringList> MatchingFiles(const QString &folder, const QString &patterns)
{
    auto files = Entries(folder, QDir::Files);
    if (!files)
        return std::nullopt;
    QStringList wanted;
    for (const QString &pattern : patterns.split(u';', Qt::SkipEmptyParts)) {
        const QString trimmed = pattern.trimmed();
        if (!trimmed.isEmpty())
            wanted << trimmed;
    }
    QStringList matching;
    for (const QString &name : *files) {
        for (const QString &pattern : wanted) {
            if (MatchesPattern(name, pattern)) {
                matching << name;
                break;
            }
        }
    }
    return matching;
}

} // namespace lists
