#include "failedlist.h"

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

} // namespace failedlist
