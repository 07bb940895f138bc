#pragma once

#include <QUrl>

// Whether two addresses name the same document. The browser may hand an address back in its
// normal form (a lower-case host, a slash for an empty path), so equal addresses or equal normal
// forms of a valid one count as the same.
inline bool SameAddress(const QUrl &a, const QUrl &b)
{
    const auto normal = [](const QUrl &url) {
        return url.adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash);
    };
    return a == b || (a.isValid() && normal(a) == normal(b));
}
