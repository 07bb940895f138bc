#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The Netscape cookie file that browser extensions export and other downloaders read and
// write: one cookie a line, seven tab-separated fields (domain, whether subdomains match,
// path, secure, expiry in seconds since 1970 with 0 for a session cookie, name, value),
// "#HttpOnly_" before the domain of an HttpOnly cookie, other lines after "#" comments.
namespace cookiesfile {

struct Cookie
{
    QByteArray domain; // without a leading dot
    bool subdomains = false;
    QByteArray path;
    bool secure = false;
    qint64 expires = 0; // 0: a session cookie
    QByteArray name;
    QByteArray value;
    bool httpOnly = false;
    int line = 0; // in the file, from 1
};

// A file larger than this is refused: every cookie a browser keeps fits many times over.
constexpr qint64 kMostBytes = 8 * 1024 * 1024;

// The cookies of the file's text, in order, without those that expired before `now`. A line
// that is no cookie refuses the whole file; the message names it by its number.
std::optional<QString> Parse(const QByteArray &text, qint64 now, QList<Cookie> &cookies);

// The cookies of the file at the path: only a regular file no larger than kMostBytes.
std::optional<QString> Read(const QString &path, qint64 now, QList<Cookie> &cookies);

// Replaces the file at the path with the header of such a file and the lines, through a new
// file beside it that is renamed over it, so that the path holds the old file or the whole
// new one. The file is owner-only; a symbolic link at the path is replaced, not followed.
std::optional<QString> Write(const QString &path, const QList<QByteArray> &lines);

} // namespace cookiesfile
