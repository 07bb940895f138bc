#include "cookiesfile.h"

#include "posixfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace cookiesfile {

namespace {

constexpr QByteArrayView kHttpOnly = "#HttpOnly_";

std::optional<bool> Flag(const QByteArray &field)
{
    if (field.compare("TRUE", Qt::CaseInsensitive) == 0)
        return true;
    if (field.compare("FALSE", Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

// No control character, and nothing that would end the cookie's text in a header.
bool Plain(const QByteArray &text, QByteArrayView alsoRefused)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == ';' || alsoRefused.contains(c))
            return false;
    }
    return true;
}

bool DomainName(const QByteArray &domain)
{
    if (domain.isEmpty())
        return false;
    for (const char c : domain)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || QByteArrayView("-._:[]").contains(c)))
            return false;
    return true;
}

// Seconds since 1970; some exporters add a fraction, which is dropped.
std::optional<qint64> Expiry(const QByteArray &field)
{
    const qsizetype dot = field.indexOf('.');
    const QByteArray whole = dot < 0 ? field : field.left(dot);
    const QByteArray fraction = dot < 0 ? QByteArray() : field.mid(dot + 1);
    const auto digits = [](const QByteArray &text) {
        return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.isEmpty() || !digits(whole) || !digits(fraction))
        return std::nullopt;
    bool ok = false;
    const qint64 seconds = whole.toLongLong(&ok);
    // Beyond what a date can hold: a cookie that does not expire in any lifetime.
    constexpr qint64 kYear9999 = 253402300799;
    return ok ? std::min(seconds, kYear9999) : kYear9999;
}

// Why the line is no cookie; nothing when it is one, filled in.
std::optional<QString> ParseLine(QByteArray line, Cookie &cookie)
{
    if (line.startsWith(kHttpOnly)) {
        cookie.httpOnly = true;
        line.remove(0, kHttpOnly.size());
    }
    QList<QByteArray> fields = line.split('\t');
    // Some exporters leave the tab before an empty value out.
    if (fields.size() == 6)
        fields.append(QByteArray());
    if (fields.size() != 7)
        return u"it does not split at tabs into 7 fields"_s;
    QByteArray domain = fields.at(0).toLower();
    const std::optional<bool> subdomains = Flag(fields.at(1));
    const std::optional<bool> secure = Flag(fields.at(3));
    const std::optional<qint64> expires = Expiry(fields.at(4));
    if (domain.startsWith('.'))
        domain.remove(0, 1);
    if (!DomainName(domain))
        return u"its domain is not a host name"_s;
    if (!subdomains)
        return u"its second field is neither TRUE nor FALSE"_s;
    if (!fields.at(2).startsWith('/') || !Plain(fields.at(2), {}))
        return u"its path does not begin with / or holds a control character or ;"_s;
    if (!secure)
        return u"its fourth field is neither TRUE nor FALSE"_s;
    if (!expires)
        return u"its expiry is not a number of seconds"_s;
    if (fields.at(5).isEmpty() || !Plain(fields.at(5), " =,"))
        return u"its name is empty or holds a blank, =, ;, a comma or a control character"_s;
    if (!Plain(fields.at(6), {}))
        return u"its value holds ; or a control character"_s;
    cookie.domain = domain;
    cookie.subdomains = *subdomains;
    cookie.path = fields.at(2);
    cookie.secure = *secure;
    cookie.expires = *expires;
    cookie.name = fields.at(5);
    cookie.value = fields.at(6);
    return std::nullopt;
}

} // namespace

std::optional<QString> Parse(const QByteArray &text, qint64 now, QList<Cookie> &cookies)
{
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || (line.startsWith('#') && !line.startsWith(kHttpOnly)))
            continue;
        Cookie cookie;
        cookie.line = static_cast<int>(i + 1);
        if (const auto why = ParseLine(line, cookie))
            return u"line %1 is no cookie: %2"_s.arg(QString::number(cookie.line), *why);
        if (cookie.expires == 0 || cookie.expires > now)
            cookies.append(cookie);
    }
    return std::nullopt;
}

std::optional<QString> Read(const QString &path, qint64 now, QList<Cookie> &cookies)
{
    const auto refused = [&](const QString &why) {
        return u"The --cookies file \"%1\" %2."_s.arg(path, why);
    };
    QString why;
    const std::optional<QByteArray> text = posixfile::ReadRegular(path, kMostBytes, why);
    if (!text)
        return refused(why);
    if (const auto unusable = Parse(*text, now, cookies))
        return refused(u"cannot be used: "_s + *unusable);
    return std::nullopt;
}

std::optional<QString> Write(const QString &path, const QList<QByteArray> &lines)
{
    QByteArray text = "# Netscape HTTP Cookie File\n"
                      "# The cookies of a linkhauler-run browser as its run ended.\n\n";
    for (const QByteArray &line : lines)
        text += line + '\n';

    const QFileInfo target(path);
    QByteArray temporary = QFile::encodeName(
        target.absoluteDir().filePath(u'.' + target.fileName() + u".XXXXXX"_s));
    // A new name that nothing stands at yet, owner-only from the start.
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    const auto failed = [&] {
        return u"The --save-cookies file \"%1\" could not be written: %2"_s.arg(
            path, posixfile::SystemError());
    };
    if (fd < 0)
        return failed();
    const bool written = posixfile::WriteAll(fd, text) && ::fsync(fd) == 0;
    std::optional<QString> error;
    if (!written)
        error = failed();
    if (::close(fd) != 0 && !error)
        error = failed();
    if (!error && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
        error = failed();
    if (error)
        ::unlink(temporary.constData());
    return error;
}

} // namespace cookiesfile
