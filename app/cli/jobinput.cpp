#include "jobinput.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <array>
#include <variant>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace jobinput {

namespace {

constexpr qint64 kMostJobBytes = 1024 * 1024;

// The pool of ready-made end patterns is a control of the Setup page but never part of a
// job: a file that carries it (a window's state written out whole) is read and it is left.
struct Pool
{
};

// The one consulted option of a pair, and whether the control named selects it.
struct Option
{
    bool JobFields::*consulted;
    bool selects;
};

struct Control
{
    QLatin1StringView name;
    std::variant<QString JobFields::*, int JobFields::*, Criteria, Pool, Option> field;
};

const std::array kControls{
    Control{"txtAddress"_L1, &JobFields::address},
    Control{"chkIncNum"_L1, &JobFields::incNum},
    Control{"txtStartNum"_L1, &JobFields::startNum},
    Control{"txtStopNum"_L1, &JobFields::stopNum},
    Control{"txtIncrementNumerically"_L1, &JobFields::incrementNumerically},
    Control{"chkIncAlpha"_L1, &JobFields::incAlpha},
    Control{"txtStartAlpha"_L1, &JobFields::startAlpha},
    Control{"txtStopAlpha"_L1, &JobFields::stopAlpha},
    Control{"txtIncrementAlphabetically"_L1, &JobFields::incrementAlphabetically},
    Control{"lstBeginning"_L1, Criteria::Beginning},
    Control{"optAnd1"_L1, Option{&JobFields::or1, false}},
    Control{"optOr1"_L1, Option{&JobFields::or1, true}},
    Control{"lstInterior"_L1, Criteria::Interior},
    Control{"optAnd2"_L1, Option{&JobFields::or2, false}},
    Control{"optOr2"_L1, Option{&JobFields::or2, true}},
    Control{"lstEnd"_L1, Criteria::End},
    Control{"lstPatterns"_L1, Pool{}},
    Control{"txtTimeOut"_L1, &JobFields::timeOut},
    Control{"txtDefaultExtension"_L1, &JobFields::defaultExtension},
    Control{"chkOverwrite"_L1, &JobFields::overwrite},
    Control{"chkSaveLinks"_L1, &JobFields::saveLinks},
    Control{"txtSaveLinks"_L1, &JobFields::saveLinksFolder},
    Control{"chkSaveHREFs"_L1, &JobFields::saveHREFs},
    Control{"optOneHREFPerFile"_L1, Option{&JobFields::oneHREFPerFile, true}},
    Control{"optAllHREFsOneFile"_L1, Option{&JobFields::oneHREFPerFile, false}},
    Control{"txtSaveHREFs"_L1, &JobFields::saveHREFsFolder},
};

QStringList JobFields::*ListOf(Criteria which)
{
    switch (which) {
    case Criteria::Beginning:
        return &JobFields::beginning;
    case Criteria::Interior:
        return &JobFields::interior;
    case Criteria::End:
        break;
    }
    return &JobFields::end;
}

QString Quoted(QLatin1StringView name)
{
    return u'"' + QString(name) + u'"';
}

std::optional<QString> ReadTexts(const QJsonValue &value, QLatin1StringView name,
                                 QStringList &texts)
{
    if (!value.isArray())
        return Quoted(name) + u" must be a list of texts."_s;
    for (const QJsonValue &entry : value.toArray()) {
        if (!entry.isString())
            return Quoted(name) + u" must be a list of texts."_s;
        texts.append(entry.toString());
    }
    return std::nullopt;
}

// The value for one control; options are only noted, since a pair is settled as a whole.
std::optional<QString> ApplyControl(const Control &control, const QJsonValue &value,
                                    JobFields &fields, std::optional<bool> &selected)
{
    const QLatin1StringView name = control.name;
    if (const auto *text = std::get_if<QString JobFields::*>(&control.field)) {
        if (!value.isString())
            return Quoted(name) + u" must be a text."_s;
        fields.*(*text) = value.toString();
    } else if (const auto *tick = std::get_if<int JobFields::*>(&control.field)) {
        // A tick box is 0 or 1; true and false say the same.
        if (value.isBool())
            fields.*(*tick) = value.toBool() ? 1 : 0;
        else if (value.isDouble() && (value.toDouble() == 0 || value.toDouble() == 1))
            fields.*(*tick) = value.toInt();
        else
            return Quoted(name) + u" must be 0 or 1."_s;
    } else if (const auto *criteria = std::get_if<Criteria>(&control.field)) {
        QStringList entries;
        if (auto error = ReadTexts(value, name, entries))
            return error;
        QStringList &list = fields.*ListOf(*criteria);
        list.clear();
        for (const QString &entry : std::as_const(entries))
            if (auto refused = AddVariable(list, *criteria, entry))
                return Quoted(name) + u": "_s + *refused;
    } else if (std::holds_alternative<Pool>(control.field)) {
        QStringList ignored;
        return ReadTexts(value, name, ignored);
    } else {
        if (!value.isBool())
            return Quoted(name) + u" must be true or false."_s;
        selected = value.toBool();
    }
    return std::nullopt;
}

// Two options of one pair as the file gives them (either may be left out); the window
// never has both selected, and one of the criteria pairs always is.
std::optional<QString> SettlePair(const Control &first, std::optional<bool> firstSelected,
                                  const Control &second, std::optional<bool> secondSelected,
                                  bool oneAlwaysSelected, JobFields &fields)
{
    const Option a = std::get<Option>(first.field);
    const Option b = std::get<Option>(second.field);
    const QString both = Quoted(first.name) + u" and "_s + Quoted(second.name);
    if (firstSelected == true && secondSelected == true)
        return both + u" cannot both be selected."_s;
    if (oneAlwaysSelected && firstSelected == false && secondSelected == false)
        return both + u" cannot both be cleared: one of them is always selected."_s;
    // The consulted option is the one whose value settles the pair.
    const Option &given = firstSelected ? a : b;
    const std::optional<bool> value = firstSelected ? firstSelected : secondSelected;
    if (!value)
        return std::nullopt;
    // Clearing the option that is not consulted leaves the other one open, unless the pair
    // always has one selected.
    if (*value)
        fields.*(given.consulted) = given.selects;
    else if (oneAlwaysSelected || given.selects)
        fields.*(given.consulted) = !given.selects;
    return std::nullopt;
}

} // namespace

std::optional<QString> AddVariable(QStringList &list, Criteria which, const QString &entry)
{
    static const QString kinds[] = {u"beginning"_s, u"interior"_s, u"end"_s};
    if (list.contains(entry))
        return u"The %1 variable '%2' already exists."_s.arg(kinds[static_cast<int>(which)], entry);
    if (QString(entry).remove(u' ').isEmpty())
        return u"You can not add an empty variable."_s;
    list.append(entry);
    return std::nullopt;
}

QString WithoutLeadingDot(const QString &extension)
{
    return extension.startsWith(u'.') ? extension.mid(1) : extension;
}

void MakeFoldersAbsolute(JobFields &fields)
{
    for (QString *folder : {&fields.saveLinksFolder, &fields.saveHREFsFolder})
        if (!folder->isEmpty() && QDir::isRelativePath(*folder))
            *folder = QDir::cleanPath(QDir::current().absoluteFilePath(*folder));
}

std::optional<QString> ApplyJobJson(const QByteArray &json, JobFields &fields)
{
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError)
        return u"The job file is not valid JSON: %1 at offset %2."_s.arg(
            parse.errorString(), QString::number(parse.offset));
    if (!document.isObject())
        return u"The job file must hold one JSON object."_s;

    const QJsonObject object = document.object();
    std::array<std::optional<bool>, kControls.size()> selected;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const auto control = std::find_if(kControls.begin(), kControls.end(),
                                          [&](const Control &c) { return c.name == it.key(); });
        if (control == kControls.end())
            return u"Unknown key \"%1\" in the job file."_s.arg(it.key());
        const auto index = static_cast<std::size_t>(control - kControls.begin());
        if (auto error = ApplyControl(*control, it.value(), fields, selected[index]))
            return error;
    }

    const auto pair = [&](std::size_t first, bool oneAlwaysSelected) {
        return SettlePair(kControls[first], selected[first], kControls[first + 1],
                          selected[first + 1], oneAlwaysSelected, fields);
    };
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (!std::holds_alternative<Option>(kControls[i].field))
            continue;
        // The criteria pairs always have one option selected; the output pair starts with none.
        const bool criteriaPair = std::get<Option>(kControls[i].field).consulted
            != &JobFields::oneHREFPerFile;
        if (auto error = pair(i, criteriaPair))
            return error;
        ++i; // the pair's second option is settled with the first
    }
    fields.defaultExtension = WithoutLeadingDot(fields.defaultExtension);
    return std::nullopt;
}

QJsonObject JobObject(const JobFields &fields)
{
    QJsonObject object;
    for (const Control &control : kControls) {
        const QString name = control.name;
        if (const auto *text = std::get_if<QString JobFields::*>(&control.field))
            object.insert(name, fields.*(*text));
        else if (const auto *tick = std::get_if<int JobFields::*>(&control.field))
            object.insert(name, fields.*(*tick));
        else if (const auto *criteria = std::get_if<Criteria>(&control.field))
            object.insert(name, QJsonArray::fromStringList(fields.*ListOf(*criteria)));
        else if (const auto *option = std::get_if<Option>(&control.field))
            object.insert(name, fields.*(option->consulted) == option->selects);
    }
    return object;
}

std::optional<QString> ReadJobFile(const QString &path, JobFields &fields)
{
    // Not blocking: a named pipe would otherwise hold the open until someone writes to it.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const QString reason = fd < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                                      : file.errorString();
        if (fd >= 0)
            ::close(fd);
        return u"The job file \"%1\" cannot be read: %2"_s.arg(path, reason);
    }
    // A device or a pipe could be read for ever; a job is a few lines.
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return u"The job file \"%1\" is not a regular file."_s.arg(path);
    const QByteArray json = file.read(kMostJobBytes + 1);
    if (json.size() > kMostJobBytes)
        return u"The job file \"%1\" is larger than 1 MiB."_s.arg(path);
    return ApplyJobJson(json, fields);
}

} // namespace jobinput
