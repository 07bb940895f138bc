#include "resolvedlink.h"

#include "jobsettings.h"
#include "runports.h"

using namespace Qt::StringLiterals;

ResolvedLink ResolveLink(const QString &link, const JobSettings &job, double number)
{
    ResolvedLink resolved;
    resolved.link = link;
    try {
        const QString folder = job.txtSaveLinks();
        const QString extension = job.txtDefaultExtension();
        if (folder.isEmpty() && job.chkSaveLinks() != 1) {
            // Nothing is saved and there is no folder to make: the file name alone serves the
            // log line.
            resolved.path = linkrules::GetFilename(link, u"."_s, number, extension).mid(2);
        } else {
            resolved.path = linkrules::GetFilename(link, folder, number, extension);
        }
    } catch (const linkrules::RuleError &error) {
        resolved.pathFailure = error;
    }
    try {
        resolved.address = linkrules::GetPath(link, job.txtAddress());
        resolved.source = linkrules::TrimSpaces(resolved.address);
    } catch (const linkrules::RuleError &error) {
        resolved.addressFailure = error;
    }
    return resolved;
}

bool SavesLinks(const JobSettings &job)
{
    return job.chkSaveLinks() == 1 && !job.txtSaveLinks().isEmpty();
}

bool KeepsExisting(const JobSettings &job, const FileStore &files, const QString &path)
{
    return !job.txtSaveLinks().isEmpty() && job.chkOverwrite() != 1 && files.FileExists(path);
}
