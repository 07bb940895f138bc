#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// File-system reading shared by the lists. Nothing here changes the process's
// current directory: the lists address folders by absolute path only.
namespace lists {

// The absolute, cleaned form of path; relative paths are taken from the process's
// current directory. The root keeps its "/", other folders have no trailing one.
QString NormalisedFolder(const QString &path);

// The subfolder names of an existing, readable folder, sorted by name; nothing when
// the folder cannot be listed.
std::optional<QStringList> Subfolders(const QString &folder);

// The names of the files of folder that match any of the ";"-separated wildcard
// patterns, sorted by name; nothing when the folder cannot be listed.
std::optional<QStringList> MatchingFiles(const QString &folder, const QString &patterns);

// One wildcard pattern ("*", "?", "[...]") against one file name, case-sensitive.
// "*.*" means every file, with or without a dot in its name.
bool MatchesPattern(const QString &name, const QString &pattern);

} // namespace lists
