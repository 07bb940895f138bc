#include "requestrules.h"

#include <QByteArrayList>

namespace {

// Beyond this a browser sends only the origin, and nothing when that is longer still.
constexpr qsizetype kLongestReferrer = 4096;

int DefaultPort(const QString &scheme)
{
    if (scheme == u"http")
        return 80;
    if (scheme == u"https")
        return 443;
    if (scheme == u"ftp")
        return 21;
    return -1;
}

QByteArray OriginOf(const QUrl &url)
{
    QUrl origin = url.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery
                               | QUrl::RemoveFragment);
    if (origin.port() == DefaultPort(origin.scheme()))
        origin.setPort(-1);
    origin.setPath(QStringLiteral("/"));
    return origin.toEncoded();
}

// The characters RFC 9110 allows in a header's name.
bool IsToken(const QByteArray &name)
{
    static const QByteArray kMarks = "!#$%&'*+-.^_`|~";
    for (const char c : name) {
        const bool alphanumeric = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')
            || (c >= 'A' && c <= 'Z');
        if (!alphanumeric && !kMarks.contains(c))
            return false;
    }
    return !name.isEmpty();
}

} // namespace

bool SameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme() == b.scheme() && a.host(QUrl::FullyEncoded) == b.host(QUrl::FullyEncoded)
        && a.port(DefaultPort(a.scheme())) == b.port(DefaultPort(b.scheme()));
}

QByteArray ReferrerFor(const QUrl &page, const QUrl &target)
{
    const QString scheme = page.scheme();
    if (!page.isValid() || page.host().isEmpty() || (scheme != u"http" && scheme != u"https")
        || !target.isValid())
        return {};
    if (scheme == u"https" && target.scheme() != u"https")
        return {};
    const QByteArray origin = OriginOf(page);
    if (origin.size() > kLongestReferrer)
        return {};
    if (!SameOrigin(page, target))
        return origin;
    // Written as a browser writes an address: no default port, at least "/" for a path.
    QUrl full = page.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    if (full.port() == DefaultPort(scheme))
        full.setPort(-1);
    if (full.path().isEmpty())
        full.setPath(QStringLiteral("/"));
    const QByteArray written = full.toEncoded();
    return written.size() > kLongestReferrer ? origin : written;
}

bool IsExtraHeader(const QByteArray &line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || line.contains('\r') || line.contains('\n') || line.contains('\0'))
        return false;
    const QByteArray name = line.left(colon).toLower();
    static const QByteArrayList kDecided{"host", "cookie", "content-length"};
    return IsToken(name) && !kDecided.contains(name);
}
