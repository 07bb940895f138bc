#include "runreport.h"

#include "exitstatus.h"
#include "failedlist.h"
#include "safetext.h"

#include <QJsonDocument>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

QString Clock(qint64 seconds)
{
    const qint64 h = seconds / 3600;
    const qint64 m = seconds / 60 % 60;
    const qint64 s = seconds % 60;
    const QString ms = u"%1:%2"_s.arg(m, h ? 2 : 1, 10, QChar(u'0')).arg(s, 2, 10, QChar(u'0'));
    return h ? QString::number(h) + u':' + ms : ms;
}

QString EndText(RunEnd end)
{
    switch (end) {
    case RunEnd::Completed:
        return u"completed"_s;
    case RunEnd::StoppedByFailure:
        return u"stopped"_s;
    case RunEnd::Interrupted:
        break;
    }
    return u"interrupted"_s;
}

} // namespace

QString ByteSize(qint64 bytes)
{
    if (bytes < 1024)
        return QString::number(bytes) + u" B"_s;
    const char *units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QString::number(value, 'f', 1) + u' ' + QLatin1StringView(units[unit]);
}

QString ProgressText(const Progress &p, qint64 elapsedMs)
{
    QString text = QString::number(p.pagesDone);
    if (p.seriesPages)
        text += u'/' + QString::number(*p.seriesPages);
    text += u" pages, %1 kept, %2 files, %3"_s.arg(QString::number(p.linksKept),
                                                   QString::number(p.files), ByteSize(p.bytes));
    if (elapsedMs > 0)
        text += u", "_s + ByteSize(p.bytes * 1000 / elapsedMs) + u"/s"_s;
    if (p.failures)
        text += u", %1 failed"_s.arg(p.failures);
    text += u", "_s + Clock(elapsedMs / 1000) + u" elapsed"_s;
    if (p.seriesPages && p.pagesDone > 0 && p.pagesDone <= *p.seriesPages) {
        const qint64 left = elapsedMs / p.pagesDone * (*p.seriesPages - p.pagesDone);
        text += u", "_s + Clock((left + 999) / 1000) + u" left"_s;
    }
    return text;
}

RunReport::RunReport(std::optional<qint64> seriesPages, bool skipFailures, JsonLine jsonLine)
    : m_jsonLine(std::move(jsonLine))
    , m_skipFailures(skipFailures)
{
    m_progress.seriesPages = seriesPages;
}

void RunReport::Emit(const QString &event, QJsonObject fields)
{
    if (!m_jsonLine)
        return;
    // The JSON text escapes control characters itself; a password has no place in it.
    for (auto field = fields.begin(); field != fields.end(); ++field)
        if (field.value().isString())
            field.value() = safetext::HideUserInfo(field.value().toString());
    fields.insert(u"event"_s, event);
    m_jsonLine(QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n');
}

void RunReport::PageStarted(qint64 position, const QString &address)
{
    Q_UNUSED(address);
    m_position = position;
    // The page before this one is over.
    if (m_pagesStarted++ > 0)
        ++m_progress.pagesDone;
    m_linksKnown = false;
}

void RunReport::PageLoaded(const QString &address)
{
    Emit(u"page"_s, {{u"address"_s, address}});
}

void RunReport::LinksKept(const QString &page, qsizetype found, qsizetype kept)
{
    m_progress.linksKept += kept;
    m_linksKnown = true;
    Emit(u"links"_s, {{u"address"_s, page}, {u"found"_s, found}, {u"kept"_s, kept}});
}

void RunReport::FileExists(const QString &path)
{
    Emit(u"exists"_s, {{u"path"_s, path}});
}

void RunReport::LinkKnown(const QString &address, const QString &path)
{
    ++m_known;
    Emit(u"known"_s, {{u"address"_s, address}, {u"path"_s, path}});
}

// The report counts files once they are saved, and pages as the next one starts.
void RunReport::SavingFile(const QString &, const QString &, const QString &)
{
}
void RunReport::PageHandled(qint64, std::int32_t)
{
}

void RunReport::FileSaved(const QString &address, const QString &path, qint64 bytes)
{
    ++m_progress.files;
    m_progress.bytes += bytes;
    Emit(u"saved"_s, {{u"address"_s, address}, {u"path"_s, path}, {u"bytes"_s, bytes}});
}

void RunReport::LinkDone(const QString &address, const QString &path)
{
    Emit(u"item"_s, {{u"address"_s, address}, {u"path"_s, path}});
}

void RunReport::Failed(int code, const QString &description, const QString &address)
{
    ++m_progress.failures;
    m_failures.append(FailureRecord{code, safetext::HideUserInfo(description),
                                    safetext::HideUserInfo(address), m_position, !m_linksKnown});
    Emit(u"failure"_s,
         {{u"code"_s, code},
          {u"description"_s, description},
          {u"address"_s, address},
          {u"action"_s, m_skipFailures ? u"skip"_s : u"stop"_s}});
}

void RunReport::Ended(RunEnd end, int itemsDownloaded, int signal)
{
    m_end = end;
    m_signal = signal;
    m_items = itemsDownloaded;
    m_progress.pagesDone = m_pagesStarted;
    QJsonObject fields{{u"end"_s, EndText(end)},
                       {u"pages"_s, m_pagesStarted},
                       {u"links"_s, m_progress.linksKept},
                       {u"items"_s, itemsDownloaded},
                       {u"files"_s, m_progress.files},
                       {u"bytes"_s, m_progress.bytes},
                       {u"failures"_s, m_progress.failures},
                       {u"exitStatus"_s, ExitStatus()}};
    if (m_progress.seriesPages)
        fields.insert(u"series"_s, *m_progress.seriesPages);
    if (m_known > 0)
        fields.insert(u"known"_s, m_known);
    Emit(u"done"_s, fields);
}

int RunReport::ExitStatus() const
{
    switch (m_end) {
    case RunEnd::Interrupted:
        return m_signal ? exitstatus::BySignal(m_signal) : exitstatus::kInterrupted;
    case RunEnd::StoppedByFailure:
        return exitstatus::kStoppedByFailure;
    case RunEnd::Completed:
        break;
    }
    if (m_quotaReached)
        return exitstatus::kQuotaReached;
    return m_failures.isEmpty() ? exitstatus::kDone : exitstatus::kFailuresSkipped;
}

QString RunReport::Summary() const
{
    const Progress &p = m_progress;
    QString pages = QString::number(m_pagesStarted);
    if (p.seriesPages)
        pages += u" of "_s + QString::number(*p.seriesPages);
    QString text = u"Run %1: %2 pages, %3 links kept, %4 items downloaded, %5 files saved (%6), "
                   u"%7 failures"_s.arg(EndText(m_end), pages, QString::number(p.linksKept),
                                        QString::number(m_items), QString::number(p.files),
                                        ByteSize(p.bytes), QString::number(p.failures));
    if (m_known > 0)
        text += u", %1 known from the archive"_s.arg(m_known);
    text += u".\n"_s;
    if (!m_endNote.isEmpty())
        text += m_endNote + u'\n';
    for (const FailureRecord &failure : m_failures) {
        // A server's reason phrase or an address may hold what a terminal would obey.
        text += u"Error "_s + QString::number(failure.code);
        if (!failure.address.isEmpty())
            text += u" at "_s + safetext::EscapeControls(failure.address);
        text += u": "_s + safetext::EscapeControls(failure.description) + u'\n';
    }
    return text;
}

QByteArray RunReport::FailedAddresses() const
{
    QByteArray lines;
    QSet<QByteArray> written;
    for (const FailureRecord &failure : m_failures) {
        if (failure.address.isEmpty())
            continue;
        const QByteArray line = failedlist::Line(failure.address, failure.position, failure.page);
        if (written.contains(line))
            continue;
        written.insert(line);
        lines += line;
    }
    return lines;
}
