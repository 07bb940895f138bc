#include "guid.h"

#include <QRegularExpression>

#include <cstdlib>

std::optional<Guid> Guid::Parse(QStringView text)
{
    // QUuid alone also takes the form without braces; the registry form always has them.
    static const QRegularExpression form(QStringLiteral(
        "^\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\}$"));
    if (!form.match(text.toString()).hasMatch())
        return std::nullopt;
    return Guid(QUuid::fromString(text));
}

Guid Guid::FromText(QStringView text)
{
    const auto guid = Parse(text);
    if (!guid)
        std::abort();
    return *guid;
}

QString Guid::ToString() const
{
    return m_uuid.toString(QUuid::WithBraces).toUpper();
}
