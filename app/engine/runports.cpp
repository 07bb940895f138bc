#include "runports.h"

#include <QLocale>
#include <QTime>

using namespace Qt::StringLiterals;

QByteArray RecordBytes(const QString &text)
{
    return '"' + text.toUtf8() + "\"\r\n";
}

QString FileAccessError(const QString &path, const QString &reason)
{
    return u"Path/File access error: \"%1\": %2"_s.arg(path, reason);
}

namespace {

// A locale format without its time-zone part, which the log line has no use for.
QString WithoutTimeZone(QString format)
{
    format.remove(u't');
    return format.simplified();
}

} // namespace

QString SystemTimeOfDay()
{
    const QLocale locale = QLocale::system();
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(u's'))
        format = WithoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    if (!format.contains(u's'))
        format = u"HH:mm:ss"_s;
    return locale.toString(QTime::currentTime(), format);
}
