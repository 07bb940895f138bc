#pragma once

#include "linkrules.h"

#include <QString>

#include <optional>

class FileStore;
class JobSettings;

// A kept link of a page as the fields make it at one moment: where its content goes, and what
// its address is. Worked out once, by ResolveLink, for the link's own turn and for each plan to
// download it ahead of its turn; a rule that fails is kept, for the step it belongs to to report.
struct ResolvedLink
{
    QString link; // as found on the page
    // The download path (its folder made on the way); empty when the rule failed.
    QString path;
    std::optional<linkrules::RuleError> pathFailure;
    // The absolute address as the address rule gives it: recorded and reported as it is.
    QString address;
    std::optional<linkrules::RuleError> addressFailure;
    // The address without surrounding spaces: what is downloaded and asked of the ledger.
    QString source;
};

// The link of the page numbered `number` with the job's fields as they are now. Without a
// download folder and without saving, the path is the file name alone: the log line's.
ResolvedLink ResolveLink(const QString &link, const JobSettings &job, double number);

// Links are saved, into a folder that is given.
bool SavesLinks(const JobSettings &job);

// The file at the path stays as it is: a download folder is given, overwriting is off and a
// file is there. (Without a folder the path is a bare name: testing it would look into
// whatever the process's current directory happens to be.)
bool KeepsExisting(const JobSettings &job, const FileStore &files, const QString &path);
