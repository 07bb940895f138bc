#include "journal.h"

#include "posixfile.h"
#include "runports.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using posixfile::SystemError;

namespace {

constexpr QLatin1StringView kKind = "linkhauler-run journal"_L1;
constexpr int kVersion = 1;

QString Key(const QString &address, const QString &path)
{
    return address + u'\n' + path;
}

QString Fingerprint(const QJsonObject &job)
{
    // QJsonObject keeps its keys sorted, so equal jobs give equal texts.
    return QString::fromLatin1(
        QCryptographicHash::hash(QJsonDocument(job).toJson(QJsonDocument::Compact),
                                 QCryptographicHash::Sha256)
            .toHex());
}

QString ShardText(int shard, int shards)
{
    return QString::number(shard) + u'/' + QString::number(shards);
}

QString ValueText(const QJsonValue &value)
{
    if (value.isUndefined())
        return u"nothing"_s;
    if (value.isString())
        return u'"' + value.toString() + u'"';
    if (value.isArray())
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    return QString::fromUtf8(
        QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).chopped(1).mid(1));
}

// The first field the two jobs differ in, for the refusal.
QString Difference(const QJsonObject &there, const QJsonObject &here)
{
    QStringList keys = there.keys() + here.keys();
    keys.sort();
    for (const QString &key : std::as_const(keys))
        if (there.value(key) != here.value(key))
            return u"%1 is %2 there and %3 here"_s.arg(key, ValueText(there.value(key)),
                                                       ValueText(here.value(key)));
    return u"its fingerprint differs"_s;
}

// The record's bytes stand in the file at the offset.
bool RecordIsAt(const QString &file, qint64 at, const QString &text)
{
    QFile in(file);
    const QByteArray bytes = RecordBytes(text);
    if (!in.open(QIODevice::ReadOnly) || !in.seek(at))
        return false;
    return in.read(bytes.size()) == bytes;
}

} // namespace

Journal::Journal(QString path, int fd) : m_path(std::move(path)), m_fd(fd)
{
}

Journal::~Journal()
{
    if (m_fd >= 0)
        ::close(m_fd); // the lock goes with it
}

std::unique_ptr<Journal> Journal::Open(const QString &path, const Identity &identity,
                                       QString &error)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = u"The journal \"%1\" cannot be opened: %2"_s.arg(path, SystemError());
        return nullptr;
    }
    std::unique_ptr<Journal> journal(new Journal(path, fd));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK
            ? u"The journal \"%1\" is in use by another run."_s.arg(path)
            : u"The journal \"%1\" cannot be locked: %2"_s.arg(path, SystemError());
        return nullptr;
    }
    if (!journal->Read(identity, error))
        return nullptr;
    return journal;
}

bool Journal::Read(const Identity &identity, QString &error)
{
    QFile file;
    if (!file.open(m_fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        error = u"The journal \"%1\" cannot be read: %2"_s.arg(m_path, file.errorString());
        return false;
    }
    QByteArray content = file.readAll();
    file.close();
    const QString fingerprint = Fingerprint(identity.job);
    const QString shard = ShardText(identity.shard, identity.shards);
    // A first line cut short by a crash: the journal had not begun.
    if (!content.isEmpty() && !content.contains('\n') && ::ftruncate(m_fd, 0) == 0)
        content.clear();
    if (content.isEmpty()) {
        return Write({{u"kind"_s, kKind},
                      {u"version"_s, kVersion},
                      {u"fingerprint"_s, fingerprint},
                      {u"shard"_s, shard},
                      {u"job"_s, identity.job}},
                     true);
    }

    QList<QByteArray> lines = content.split('\n');
    // A line cut short by a crash can only be the last one; the next entry starts a new line.
    const bool torn = !content.endsWith('\n');
    if (torn && lines.size() > 1)
        lines.removeLast();
    const QJsonObject head = QJsonDocument::fromJson(lines.value(0)).object();
    if (head.value(u"kind"_s).toString() != kKind || head.value(u"version"_s).toInt() != kVersion) {
        error = u"\"%1\" is not a journal of linkhauler-run."_s.arg(m_path);
        return false;
    }
    if (head.value(u"fingerprint"_s).toString() != fingerprint) {
        error = u"The journal \"%1\" belongs to another job: %2. Give this job a journal of its "
                u"own, or run the journal's job."_s.arg(
                    m_path, Difference(head.value(u"job"_s).toObject(), identity.job));
        return false;
    }
    if (head.value(u"shard"_s).toString() != shard) {
        error = u"The journal \"%1\" is shard %2's, not shard %3's: each shard keeps a journal of "
                u"its own."_s.arg(m_path, head.value(u"shard"_s).toString(), shard);
        return false;
    }

    qint64 current = -1;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        const QJsonObject entry = QJsonDocument::fromJson(lines.at(i)).object();
        const QJsonObject of = entry.value(u"file"_s).toObject();
        const QString key = Key(of.value(u"address"_s).toString(), of.value(u"path"_s).toString());
        if (entry.contains(u"page"_s)) {
            current = entry.value(u"page"_s).toInteger();
            m_unfinished[current];
        } else if (entry.contains(u"done"_s)) {
            const qint64 position = entry.value(u"done"_s).toInteger();
            m_done.insert(position);
            m_unfinished.remove(position);
            m_items = static_cast<std::int32_t>(entry.value(u"items"_s).toInteger());
            current = -1;
        } else if (entry.contains(u"temporary"_s)) {
            m_temporaries.append(entry.value(u"temporary"_s).toString());
        } else if (entry.contains(u"removed"_s)) {
            m_removed.insert(entry.value(u"removed"_s).toString());
        } else if (current >= 0 && entry.value(u"saving"_s).toBool()) {
            m_unfinished[current].saving.append(
                {of.value(u"address"_s).toString(), of.value(u"path"_s).toString()});
            m_savingTemporary.insert(key, of.value(u"temporary"_s).toString());
        } else if (current >= 0 && entry.value(u"saved"_s).toBool()) {
            m_unfinished[current].saved.insert(key);
        } else if (current >= 0 && entry.contains(u"record"_s)) {
            const QJsonObject record = entry.value(u"record"_s).toObject();
            m_unfinished[current].records.append({record.value(u"file"_s).toString(),
                                                  record.value(u"text"_s).toString(),
                                                  record.value(u"at"_s).toInteger()});
        }
    }

    // A file moved onto its path is whole there: its temporary is gone once the move is done.
    // One that a later run removed was never moved; the file at the path is an older one.
    for (Unfinished &page : m_unfinished) {
        for (const SavedFile &file : std::as_const(page.saving)) {
            const QString key = Key(file.address, file.path);
            const QString temporary = m_savingTemporary.value(key);
            const bool moved = page.saved.contains(key)
                || (!temporary.isEmpty() && !m_removed.contains(temporary)
                    && !QFileInfo::exists(temporary));
            if (moved && QFileInfo(file.path).isFile())
                page.whole.insert(key);
        }
        for (const Record &record : std::as_const(page.records))
            if (RecordIsAt(record.file, record.at, record.text))
                page.appended.append(record);
    }
    if (torn && !Write({}, false))
        return false;
    return true;
}

bool Journal::SavedWhole(qint64 position, const QString &address, const QString &path) const
{
    const auto page = m_unfinished.constFind(position);
    return page != m_unfinished.cend() && page->whole.contains(Key(address, path));
}

QList<Journal::SavedFile> Journal::SavedWholeFiles() const
{
    QList<SavedFile> files;
    for (const Unfinished &page : m_unfinished)
        for (const SavedFile &file : page.saving)
            if (page.whole.contains(Key(file.address, file.path)))
                files.append(file);
    return files;
}

bool Journal::TakeAppended(qint64 position, const QString &file, const QString &text)
{
    const auto page = m_unfinished.find(position);
    if (page == m_unfinished.end())
        return false;
    for (qsizetype i = 0; i < page->appended.size(); ++i) {
        if (page->appended.at(i).file == file && page->appended.at(i).text == text) {
            page->appended.removeAt(i);
            return true;
        }
    }
    return false;
}

QStringList Journal::LeftoverTemporaries() const
{
    QStringList left;
    for (const QString &temporary : m_temporaries)
        if (QFileInfo::exists(temporary))
            left.append(temporary);
    return left;
}

bool Journal::Write(const QJsonObject &entry, bool toDisk)
{
    // An empty entry only ends a line a crash cut short.
    const QByteArray line = entry.isEmpty()
        ? QByteArray("\n")
        : QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    // One write for the whole line: a process killed now leaves it whole or leaves none of it.
    if (!posixfile::WriteAll(m_fd, line)) {
        m_error = u"The journal \"%1\" cannot be written: %2"_s.arg(m_path, SystemError());
        return false;
    }
    if (toDisk && ::fdatasync(m_fd) != 0) {
        m_error = u"The journal \"%1\" cannot be written: %2"_s.arg(m_path, SystemError());
        return false;
    }
    return true;
}

bool Journal::PageStarted(qint64 position)
{
    return Write({{u"page"_s, position}}, false);
}

bool Journal::TemporaryMade(const QString &temporary)
{
    return Write({{u"temporary"_s, temporary}}, false);
}

bool Journal::TemporaryRemoved(const QString &temporary)
{
    // On the disk before the file goes, so that no cut leaves its absence unexplained.
    return Write({{u"removed"_s, temporary}}, true);
}

bool Journal::Saving(const QString &address, const QString &path, const QString &temporary)
{
    return Write(
        {{u"saving"_s, true},
         {u"file"_s,
          QJsonObject{{u"address"_s, address}, {u"path"_s, path}, {u"temporary"_s, temporary}}}},
        true);
}

bool Journal::Saved(const QString &address, const QString &path)
{
    return Write(
        {{u"saved"_s, true}, {u"file"_s, QJsonObject{{u"address"_s, address}, {u"path"_s, path}}}},
        false);
}

bool Journal::Appending(const QString &file, qint64 at, const QString &text)
{
    return Write({{u"record"_s, QJsonObject{{u"file"_s, file}, {u"at"_s, at}, {u"text"_s, text}}}},
                 false);
}

bool Journal::PageDone(qint64 position, std::int32_t items)
{
    return Write({{u"done"_s, position}, {u"items"_s, items}}, true);
}
