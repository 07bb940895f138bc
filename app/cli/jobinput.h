#pragma once

#include "jobsettings.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// A job as the Setup page's controls hold it, from a JSON object whose keys are the
// controls' names, and the editing rules the window applies on the way into its fields.
namespace jobinput {

// The three criteria lists, for the texts the window's "+" commands show.
enum class Criteria { Beginning, Interior, End };

// Adds the entry as the window's "+" does: refused (with the window's message) when the
// list already holds it or when it is blank.
std::optional<QString> AddVariable(QStringList &list, Criteria which, const QString &entry);

// The default extension as the field keeps it once it loses the focus: one leading dot off.
QString WithoutLeadingDot(const QString &extension);

// The two folders against the current directory when they are relative: the window's file
// naming never creates the first part of a folder, which for a relative folder is all of it,
// and a bare name would be tested in whatever directory the program runs in.
void MakeFoldersAbsolute(JobFields &fields);

// Sets the fields the object names; keys left out keep their values. The error names the
// key at fault.
std::optional<QString> ApplyJobJson(const QByteArray &json, JobFields &fields);

// Every field of the job under its control's name, as a job file would give it.
QJsonObject JobObject(const JobFields &fields);

// ApplyJobJson on the file's content.
std::optional<QString> ReadJobFile(const QString &path, JobFields &fields);

} // namespace jobinput
