#include "safetext.h"

using namespace Qt::StringLiterals;

namespace safetext {

namespace {

bool IsControl(char16_t c)
{
    return c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f) || (c >= 0x202a && c <= 0x202e)
        || (c >= 0x2066 && c <= 0x2069);
}

// Where the authority of an address that begins at `from` ends: a browser ends it at the
// first of these, and so does a reader of the log.
bool EndsAuthority(QChar c)
{
    return c == u'/' || c == u'?' || c == u'#' || c == u'\\' || c == u'"' || c == u'\'' || c == u'<'
        || c == u'>' || c.isSpace() || IsControl(c.unicode());
}

} // namespace

QString EscapeControls(const QString &text)
{
    qsizetype first = 0;
    while (first < text.size() && !IsControl(text.at(first).unicode()))
        ++first;
    if (first == text.size())
        return text;
    QString escaped = text.left(first);
    for (qsizetype i = first; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (!IsControl(c))
            escaped += QChar(c);
        else if (c <= 0xff)
            escaped += u"\\x%1"_s.arg(c, 2, 16, QChar(u'0'));
        else
            escaped += u"\\u%1"_s.arg(c, 4, 16, QChar(u'0'));
    }
    return escaped;
}

QString HideUserInfo(const QString &text)
{
    QString result;
    qsizetype done = 0;
    for (qsizetype at = text.indexOf(u"://"_s); at >= 0; at = text.indexOf(u"://"_s, at + 3)) {
        const qsizetype start = at + 3;
        qsizetype end = start;
        while (end < text.size() && !EndsAuthority(text.at(end)))
            ++end;
        // The last "@" separates the user information from the host, as in a browser.
        const qsizetype sign = text.lastIndexOf(u'@', end - 1);
        if (sign < start)
            continue;
        result += QStringView(text).mid(done, start - done);
        result += u"***"_s;
        done = sign;
    }
    if (done == 0)
        return text;
    result += QStringView(text).mid(done);
    return result;
}

QString Printable(const QString &text)
{
    return EscapeControls(HideUserInfo(text));
}

} // namespace safetext
