#pragma once

#include <QString>
#include <QStringView>
#include <QUuid>

#include <optional>

// A class, interface or type library identifier, written the registry way:
// "{F6FA2649-9AFD-11D6-AB7E-00AA000C9B61}" (braces, upper case).
class Guid final
{
public:
    Guid() = default;
    explicit Guid(const QUuid &uuid) : m_uuid(uuid) {}

    // Accepts the registry form; letters in either case. Anything else gives nothing.
    static std::optional<Guid> Parse(QStringView text);
    // For identifiers written in the code; a malformed literal is a programming error.
    static Guid FromText(QStringView text);

    QString ToString() const;
    bool IsNull() const { return m_uuid.isNull(); }
    const QUuid &Uuid() const { return m_uuid; }

    friend bool operator==(const Guid &a, const Guid &b) { return a.m_uuid == b.m_uuid; }

private:
    QUuid m_uuid;
};
