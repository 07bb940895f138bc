#include "journal.h"

#include "posixfile.h"
#include "runports.h"
#include "safetext.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using posixfile::SystemError;

namespace {

constexpr QLatin1StringView kKind = "linkhauler-run journal"_L1;
constexpr int kVersion = 1;

// The journal's keys, for writing and reading alike.
namespace key {
constexpr QLatin1StringView kKind = "kind"_L1, kVersion = "version"_L1,
                            kFingerprint = "fingerprint"_L1, kShard = "shard"_L1, kJob = "job"_L1;
constexpr QLatin1StringView kPage = "page"_L1, kDone = "done"_L1, kItems = "items"_L1,
                            kTemporary = "temporary"_L1, kRemoved = "removed"_L1,
                            kSaving = "saving"_L1, kSaved = "saved"_L1, kFile = "file"_L1,
                            kAddress = "address"_L1, kPath = "path"_L1, kRecord = "record"_L1,
                            kAt = "at"_L1, kText = "text"_L1, kLength = "length"_L1;
} // namespace key

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

// The job as the journal keeps it: without a password its address may carry.
QJsonObject WithoutSecrets(QJsonObject job)
{
    for (auto field = job.begin(); field != job.end(); ++field)
        if (field.value().isString())
            field.value() = safetext::HideUserInfo(field.value().toString());
    return job;
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

// A record of `length` bytes stands in the file at the offset, and its text is `text` once a
// password it may carry is hidden, as the journal keeps it.
bool RecordIsAt(const QString &file, qint64 at, qint64 length, const QString &text)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly) || !in.seek(at))
        return false;
    const QByteArray bytes = in.read(length);
    return bytes.size() == length && bytes.startsWith('"') && bytes.endsWith("\"\r\n")
        && safetext::HideUserInfo(QString::fromUtf8(bytes.mid(1, bytes.size() - 4)))
        == safetext::HideUserInfo(text);
}

// A whole number from 0 to `most`, as the journal writes them; none for anything else (a
// fraction, a text, a number beyond 64 bits).
std::optional<qint64> WholeNumber(const QJsonValue &value, qint64 most)
{
    const qint64 number = value.toInteger(-1);
    if (number < 0 || number > most || value.toInteger(-2) != number)
        return std::nullopt;
    return number;
}

bool HasKeys(const QJsonObject &object, std::initializer_list<QLatin1StringView> keys)
{
    if (object.size() != qsizetype(keys.size()))
        return false;
    for (const QLatin1StringView key : keys)
        if (!object.contains(key))
            return false;
    return true;
}

// The texts of an object with exactly these keys, all texts; none when it is anything else.
std::optional<QStringList> Texts(const QJsonValue &value,
                                 std::initializer_list<QLatin1StringView> keys)
{
    const QJsonObject object = value.toObject();
    if (!value.isObject() || !HasKeys(object, keys))
        return std::nullopt;
    QStringList texts;
    for (const QLatin1StringView key : keys) {
        if (!object.value(key).isString())
            return std::nullopt;
        texts.append(object.value(key).toString());
    }
    return texts;
}

// The file is no journal this run may take over: neither empty nor a journal, and not the
// first line of this job's journal cut short by a crash.
bool TornFirstLine(const QByteArray &content, const QByteArray &head)
{
    return !content.contains('\n') && head.startsWith(content);
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
    // Owner-only: the journal holds the whole job. A symbolic link in its place is not followed.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = u"The journal \"%1\" cannot be opened: %2"_s.arg(path, SystemError());
        return nullptr;
    }
    std::unique_ptr<Journal> journal(new Journal(path, fd));
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = u"The journal \"%1\" is not a regular file."_s.arg(path);
        return nullptr;
    }
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
    const QJsonObject job = WithoutSecrets(identity.job);
    const QJsonObject head{{key::kKind, kKind},
                           {key::kVersion, kVersion},
                           {key::kFingerprint, Fingerprint(identity.job)},
                           {key::kShard, ShardText(identity.shard, identity.shards)},
                           {key::kJob, job}};
    // The first line of this job's journal cut short by a crash: the journal had not begun.
    if (TornFirstLine(content, QJsonDocument(head).toJson(QJsonDocument::Compact))) {
        if (!content.isEmpty() && !Truncate(0, error))
            return false;
        return Write(head, true);
    }

    // Anything else that is not a journal stays exactly as it is.
    const QList<QByteArray> lines = content.left(content.lastIndexOf('\n')).split('\n');
    const QString refused = u"\"%1\" is not a journal of linkhauler-run."_s.arg(m_path);
    const QJsonObject there = QJsonDocument::fromJson(lines.constFirst()).object();
    if (!HasKeys(there, {key::kKind, key::kVersion, key::kFingerprint, key::kShard, key::kJob})
        || there.value(key::kKind).toString() != kKind
        || WholeNumber(there.value(key::kVersion), kVersion) != kVersion
        || !there.value(key::kJob).isObject()) {
        error = refused;
        return false;
    }
    if (there.value(key::kFingerprint) != head.value(key::kFingerprint)) {
        error = u"The journal \"%1\" belongs to another job: %2. Give this job a journal of its "
                u"own, or run the journal's job."_s.arg(
                    m_path, Difference(WithoutSecrets(there.value(key::kJob).toObject()), job));
        return false;
    }
    if (there.value(key::kShard) != head.value(key::kShard)) {
        error = u"The journal \"%1\" is shard %2's, not shard %3's: each shard keeps a journal of "
                u"its own."_s.arg(m_path,
                                  safetext::EscapeControls(there.value(key::kShard).toString()),
                                  head.value(key::kShard).toString());
        return false;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (const std::optional<QString> fault = Take(lines.at(i))) {
            error = u"The journal \"%1\" is damaged at line %2: %3."_s.arg(
                m_path, QString::number(i + 1), *fault);
            return false;
        }
    }
    // A line cut short by a crash can only be the last one: it goes, and the next entry
    // starts where it began.
    if (!content.endsWith('\n') && !Truncate(content.lastIndexOf('\n') + 1, error))
        return false;

    // A file moved onto its path is whole there: its temporary is gone once the move is done.
    // One that a later run removed was never moved; the file at the path is an older one.
    for (Unfinished &page : m_unfinished) {
        for (const SavedFile &file : std::as_const(page.saving)) {
            const QString key = Key(file.address, file.path);
            const QString temporary = m_savingTemporary.value(key);
            const bool moved = page.saved.contains(key)
                || (!temporary.isEmpty() && !m_removed.contains(temporary)
                    && !posixfile::Exists(temporary));
            if (moved && QFileInfo(file.path).isFile())
                page.whole.insert(key);
        }
        for (const Record &record : std::as_const(page.records))
            if (RecordIsAt(record.file, record.at, record.length, record.text))
                page.appended.append(record);
    }
    return true;
}

bool Journal::Truncate(qint64 length, QString &error)
{
    if (::ftruncate(m_fd, length) == 0)
        return true;
    error = u"The journal \"%1\" cannot be written: %2"_s.arg(m_path, SystemError());
    return false;
}

std::optional<QString> Journal::Take(const QByteArray &line)
{
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return u"it is not a JSON object"_s;
    const QJsonObject entry = document.object();
    constexpr qint64 kMost = std::numeric_limits<qint64>::max();
    if (HasKeys(entry, {key::kPage})) {
        const std::optional<qint64> position = WholeNumber(entry.value(key::kPage), kMost);
        if (!position)
            return u"the page's position is not a whole number from 0 on"_s;
        m_current = *position;
        m_unfinished[m_current];
        return std::nullopt;
    }
    if (HasKeys(entry, {key::kDone, key::kItems})) {
        const std::optional<qint64> position = WholeNumber(entry.value(key::kDone), kMost);
        const std::optional<qint64> items = WholeNumber(entry.value(key::kItems),
                                                        std::numeric_limits<std::int32_t>::max());
        if (!position || !items)
            return u"the page's position or count is not a whole number in range"_s;
        m_done.insert(*position);
        m_unfinished.remove(*position);
        m_items = static_cast<std::int32_t>(*items);
        m_current = -1;
        return std::nullopt;
    }
    const bool removed = HasKeys(entry, {key::kRemoved});
    if (removed || HasKeys(entry, {key::kTemporary})) {
        const QJsonValue name = entry.value(removed ? key::kRemoved : key::kTemporary);
        if (!name.isString())
            return u"the temporary file's name is not a text"_s;
        if (removed)
            m_removed.insert(name.toString());
        else
            m_temporaries.append(name.toString());
        return std::nullopt;
    }
    // The rest belongs to the page under way.
    const bool saving = HasKeys(entry, {key::kSaving, key::kFile});
    if (saving || HasKeys(entry, {key::kSaved, key::kFile})) {
        if (entry.value(saving ? key::kSaving : key::kSaved) != QJsonValue(true))
            return u"it is not an entry of a journal"_s;
        const std::optional<QStringList> file = saving
            ? Texts(entry.value(key::kFile), {key::kAddress, key::kPath, key::kTemporary})
            : Texts(entry.value(key::kFile), {key::kAddress, key::kPath});
        if (!file)
            return u"the file's address, path or temporary file is missing"_s;
        if (m_current < 0)
            return u"a file is noted outside a page"_s;
        const QString key = Key(file->at(0), file->at(1));
        if (saving) {
            m_unfinished[m_current].saving.append({file->at(0), file->at(1)});
            m_savingTemporary.insert(key, file->at(2));
        } else {
            m_unfinished[m_current].saved.insert(key);
        }
        return std::nullopt;
    }
    if (HasKeys(entry, {key::kRecord})) {
        // Its length tells how far its text, kept without a password, reaches in the file;
        // journals that kept the text whole had no need of it.
        const QJsonObject record = entry.value(key::kRecord).toObject();
        const QString text = record.value(key::kText).toString();
        const std::optional<qint64> at = WholeNumber(record.value(key::kAt), kMost);
        const std::optional<qint64> length = record.contains(key::kLength)
            ? WholeNumber(record.value(key::kLength), kMost)
            : RecordBytes(text).size();
        if (!(HasKeys(record, {key::kFile, key::kAt, key::kText})
              || HasKeys(record, {key::kFile, key::kAt, key::kText, key::kLength}))
            || !at || !length || !record.value(key::kFile).isString()
            || !record.value(key::kText).isString())
            return u"the record's file, place, length or text is missing"_s;
        if (m_current < 0)
            return u"a record is noted outside a page"_s;
        m_unfinished[m_current].records.append(
            {record.value(key::kFile).toString(), text, *at, *length});
        return std::nullopt;
    }
    return u"it is not an entry of a journal"_s;
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
    const QString kept = safetext::HideUserInfo(text);
    for (qsizetype i = 0; i < page->appended.size(); ++i) {
        const Record &record = page->appended.at(i);
        if (record.file == file && safetext::HideUserInfo(record.text) == kept
            && record.length == RecordBytes(text).size()) {
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
        if (posixfile::Exists(temporary))
            left.append(temporary);
    return left;
}

bool Journal::Write(const QJsonObject &entry, bool toDisk)
{
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
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
    return Write({{key::kPage, position}}, false);
}

bool Journal::TemporaryMade(const QString &temporary)
{
    return Write({{key::kTemporary, temporary}}, false);
}

bool Journal::TemporaryRemoved(const QString &temporary)
{
    // On the disk before the file goes, so that no cut leaves its absence unexplained.
    return Write({{key::kRemoved, temporary}}, true);
}

bool Journal::Saving(const QString &address, const QString &path, const QString &temporary)
{
    return Write(
        {{key::kSaving, true},
         {key::kFile,
          QJsonObject{{key::kAddress, address}, {key::kPath, path}, {key::kTemporary, temporary}}}},
        true);
}

bool Journal::Saved(const QString &address, const QString &path)
{
    return Write({{key::kSaved, true},
                  {key::kFile, QJsonObject{{key::kAddress, address}, {key::kPath, path}}}},
                 false);
}

bool Journal::Appending(const QString &file, qint64 at, const QString &text)
{
    return Write({{key::kRecord,
                   QJsonObject{{key::kFile, file},
                               {key::kAt, at},
                               {key::kText, safetext::HideUserInfo(text)},
                               {key::kLength, RecordBytes(text).size()}}}},
                 false);
}

bool Journal::PageDone(qint64 position, std::int32_t items)
{
    // After a power cut a page marked done must have its files and records on the disk.
    for (const QString &path : std::as_const(m_unsynced)) {
        if (!posixfile::Sync(path) && errno != ENOENT) {
            m_error = u"\"%1\" cannot be written to the disk: %2"_s.arg(path, SystemError());
            return false;
        }
    }
    m_unsynced.clear();
    return Write({{key::kDone, position}, {key::kItems, items}}, true);
}
