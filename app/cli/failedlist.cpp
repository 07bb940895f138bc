#include "failedlist.h"

#include "posixfile.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace failedlist {

QByteArray EncodedAddress(const QString &address)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray encoded;
    for (const char c : address.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7f) {
            encoded += c;
            continue;
        }
        encoded += '%';
        encoded += kHex[byte >> 4];
        encoded += kHex[byte & 0xf];
    }
    return encoded;
}

QByteArray Line(const QString &address, qint64 position, bool page)
{
    return EncodedAddress(address) + '\t'
        + (position >= 0 ? QByteArray::number(position) : QByteArray("-")) + '\t'
        + (page ? "page" : "link") + '\n';
}

std::optional<QString> Parse(const QByteArray &text, QList<Entry> &entries)
{
    const QByteArrayList lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (line.isEmpty())
            continue;
        const QByteArrayList fields = line.split('\t');
        Entry entry{fields.value(0), -1, fields.value(2) == "page", line + '\n'};
        bool positionOk = fields.value(1) == "-";
        const QByteArray &position = fields.value(1);
        if (!positionOk && !position.isEmpty()
            && std::all_of(position.cbegin(), position.cend(),
                           [](char c) { return c >= '0' && c <= '9'; }))
            entry.position = position.toLongLong(&positionOk);
        // Encoded as Line writes it: printable ASCII only, nothing that breaks a field.
        const bool addressOk = !entry.address.isEmpty()
            && std::all_of(entry.address.cbegin(), entry.address.cend(),
                           [](char c) { return c > 0x20 && c < 0x7f; });
        if (fields.size() != 3 || !addressOk || !positionOk
            || (fields.at(2) != "page" && fields.at(2) != "link"))
            return u"line %1 is not ADDRESS, a tab, a position or -, a tab, and page or "
                   u"link."_s.arg(i + 1);
        entries.append(entry);
    }
    return std::nullopt;
}

std::optional<QString> Read(const QString &path, QList<Entry> &entries)
{
    QString why;
    const std::optional<QByteArray> text = posixfile::ReadRegular(path, kMostBytes, why);
    if (!text)
        return u"The --retry-failed file \"%1\" %2."_s.arg(path, why);
    if (const auto refused = Parse(*text, entries))
        return u"The --retry-failed file \"%1\" cannot be used: %2"_s.arg(path, *refused);
    return std::nullopt;
}

} // namespace failedlist
