#include "registry.h"

#include <QSettings>

using namespace Qt::StringLiterals;

namespace component {

namespace {

QString ClassKey(const Guid &id)
{
    return u"Classes/"_s + id.ToString();
}

QString ProgIdKey(const QString &progId)
{
    return u"ProgIDs/"_s + progId;
}

QString TypeLibKey(const Guid &id)
{
    return u"TypeLibs/"_s + id.ToString();
}

bool Flush(QSettings &settings)
{
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

ComponentRegistry::ComponentRegistry() : m_file(DefaultFile())
{
}

ComponentRegistry::ComponentRegistry(QString file) : m_file(std::move(file))
{
}

QString ComponentRegistry::DefaultFile()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, u"Linkhauler"_s, u"components"_s)
        .fileName();
}

bool ComponentRegistry::RegisterClass(const ClassRecord &record)
{
    if (record.classId.IsNull())
        return false;
    QSettings settings(m_file, QSettings::IniFormat);
    settings.beginGroup(ClassKey(record.classId));
    settings.remove(QString());
    settings.setValue(u"Name"_s, record.name);
    settings.setValue(u"ProgID"_s, record.progId);
    settings.setValue(u"InprocServer"_s, record.libraryPath);
    settings.setValue(u"Control"_s, record.control);
    settings.setValue(u"MiscStatus"_s, record.miscStatus);
    settings.setValue(u"ToolboxBitmap"_s, record.toolboxBitmapId);
    settings.setValue(u"TypeLib"_s, record.typeLibId.ToString());
    settings.setValue(u"Version"_s, record.version);
    settings.endGroup();
    if (!record.progId.isEmpty())
        settings.setValue(ProgIdKey(record.progId) + u"/CLSID"_s, record.classId.ToString());
    return Flush(settings);
}

std::optional<ClassRecord> ComponentRegistry::FindClass(const Guid &classId) const
{
    QSettings settings(m_file, QSettings::IniFormat);
    settings.beginGroup(ClassKey(classId));
    if (!settings.contains(u"InprocServer"_s))
        return std::nullopt;
    ClassRecord record;
    record.classId = classId;
    record.name = settings.value(u"Name"_s).toString();
    record.progId = settings.value(u"ProgID"_s).toString();
    record.libraryPath = settings.value(u"InprocServer"_s).toString();
    record.control = settings.value(u"Control"_s).toBool();
    record.miscStatus = settings.value(u"MiscStatus"_s).toUInt();
    record.toolboxBitmapId = settings.value(u"ToolboxBitmap"_s).toInt();
    record.typeLibId = Guid::Parse(settings.value(u"TypeLib"_s).toString()).value_or(Guid());
    record.version = settings.value(u"Version"_s).toString();
    return record;
}

std::optional<Guid> ComponentRegistry::ClassFromProgId(const QString &progId) const
{
    QSettings settings(m_file, QSettings::IniFormat);
    return Guid::Parse(settings.value(ProgIdKey(progId) + u"/CLSID"_s).toString());
}

bool ComponentRegistry::RemoveClass(const Guid &classId)
{
    const auto record = FindClass(classId);
    if (!record)
        return false;
    QSettings settings(m_file, QSettings::IniFormat);
    settings.remove(ClassKey(classId));
    // Another class may have taken the identifier over since; leave that one alone.
    if (!record->progId.isEmpty()
        && settings.value(ProgIdKey(record->progId) + u"/CLSID"_s).toString() == classId.ToString())
        settings.remove(ProgIdKey(record->progId));
    return Flush(settings);
}

bool ComponentRegistry::RegisterTypeLib(const TypeLibRecord &record)
{
    if (record.id.IsNull())
        return false;
    QSettings settings(m_file, QSettings::IniFormat);
    settings.beginGroup(TypeLibKey(record.id));
    settings.remove(QString());
    settings.setValue(u"Name"_s, record.name);
    settings.setValue(u"HelpString"_s, record.helpString);
    settings.setValue(u"Version"_s,
                      QString::number(record.majorVersion) + u'.'
                          + QString::number(record.minorVersion));
    settings.setValue(u"Locale"_s, record.locale);
    settings.setValue(u"Flags"_s, record.flags);
    settings.setValue(u"Path"_s, record.libraryPath);
    settings.endGroup();
    return Flush(settings);
}

std::optional<TypeLibRecord> ComponentRegistry::FindTypeLib(const Guid &id) const
{
    QSettings settings(m_file, QSettings::IniFormat);
    settings.beginGroup(TypeLibKey(id));
    if (!settings.contains(u"Version"_s))
        return std::nullopt;
    TypeLibRecord record;
    record.id = id;
    record.name = settings.value(u"Name"_s).toString();
    record.helpString = settings.value(u"HelpString"_s).toString();
    const QStringList version = settings.value(u"Version"_s).toString().split(u'.');
    record.majorVersion = version.value(0).toInt();
    record.minorVersion = version.value(1).toInt();
    record.locale = settings.value(u"Locale"_s).toUInt();
    record.flags = settings.value(u"Flags"_s).toUInt();
    record.libraryPath = settings.value(u"Path"_s).toString();
    return record;
}

bool ComponentRegistry::RemoveTypeLib(const Guid &id)
{
    if (!FindTypeLib(id))
        return false;
    QSettings settings(m_file, QSettings::IniFormat);
    settings.remove(TypeLibKey(id));
    return Flush(settings);
}

} // namespace component
