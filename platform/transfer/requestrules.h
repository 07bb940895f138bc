#pragma once

#include <QByteArray>
#include <QUrl>

// What goes out with a request besides its address, decided as the browser decides it.

// Scheme, host and port (the scheme's own where none is given) are the same.
bool SameOrigin(const QUrl &a, const QUrl &b);

// The Referer a browser sends, under its default policy (strict-origin-when-cross-origin), for a
// request to `target` made from the page at `page`: the page's address without its fragment and
// user information to the page's own origin, only the page's origin ("scheme://host:port/", the
// port only where it is not the scheme's own) to another origin, and nothing from https to
// anything but https. Nothing either from a page that is not http or https. Empty: none.
QByteArray ReferrerFor(const QUrl &page, const QUrl &target);

// Whether `line` may go out as a request header of its own: "Name: value" with a token for its
// name, no line break or NUL anywhere, and none of the headers the transfer decides itself
// (Host, Cookie, Content-Length).
bool IsExtraHeader(const QByteArray &line);
