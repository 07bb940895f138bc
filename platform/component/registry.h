#pragma once

#include "guid.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace component {

// Marks a type library as one that holds controls.
inline constexpr std::uint32_t kTypeLibFlagControl = 0x2;

struct TypeLibRecord
{
    Guid id;
    QString name;
    QString helpString;
    int majorVersion = 0;
    int minorVersion = 0;
    std::uint32_t locale = 0;
    std::uint32_t flags = 0;
    QString libraryPath;
};

struct ClassRecord
{
    Guid classId;
    QString name;
    QString progId;
    QString libraryPath;
    bool control = false;
    std::uint32_t miscStatus = 0;
    int toolboxBitmapId = 0;
    Guid typeLibId;
    QString version;
};

// The per-user component registry: which library serves which class, plus what a
// form designer would want to know about it. One INI file in the user's config
// folder (Linkhauler/components.ini). The file location comes from QSettings'
// user-scope path, which lives in QtCore and so is the same for a host and for
// every control library it loads; tests move it with QSettings::setPath.
class ComponentRegistry final
{
public:
    ComponentRegistry();
    explicit ComponentRegistry(QString file);

    static QString DefaultFile();
    const QString &File() const { return m_file; }

    bool RegisterClass(const ClassRecord &record);
    std::optional<ClassRecord> FindClass(const Guid &classId) const;
    std::optional<Guid> ClassFromProgId(const QString &progId) const;
    // Removes the class and its programmatic identifier; true when something was removed.
    bool RemoveClass(const Guid &classId);

    bool RegisterTypeLib(const TypeLibRecord &record);
    std::optional<TypeLibRecord> FindTypeLib(const Guid &id) const;
    bool RemoveTypeLib(const Guid &id);

private:
    QString m_file;
};

} // namespace component
