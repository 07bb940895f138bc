#include "linksteps.h"

#include "downloadsahead.h"
#include "failurecodes.h"
#include "jobsettings.h"
#include "linkrules.h"
#include "numbers.h"
#include "resolvedlink.h"
#include "runcontrol.h"
#include "runsteps.h"
#include "transfer/transfer.h"

#include <QScopeGuard>

#include <algorithm>

using namespace Qt::StringLiterals;
using failurecodes::kFileAccess;
using failurecodes::kSubscriptOutOfRange;
using runsteps::RunCancelled;

namespace {

// A download of this many bytes or fewer is no content worth a file, nor its address.
constexpr qint64 kMostBytesOfNoContent = 2;

} // namespace

LinkSteps::LinkSteps(const RunPorts &ports, RunControl &control)
    : m_ports(ports)
    , m_control(control)
{
}

void LinkSteps::Take(const ResolvedLink &link, qint64 position, double number, qsizetype index,
                     DownloadsAhead &ahead, const QString &referrer)
{
    const JobSettings &job = *m_ports.job;
    RunLedger &ledger = m_control.Ledger();

    // A failure names the link by its address already in the steps before the address step,
    // so that the failed addresses can be tried again; the link as found where it has none.
    m_control.SetStepAddress(link.addressFailure ? link.link : link.address);

    // The download path; its folder was made on the way. Skipped, there is none: nothing
    // exists there, and a download's write fails and asks again.
    QString path = link.path;
    if (link.pathFailure)
        m_control.Failure(link.pathFailure->Code(), link.pathFailure->Description());

    // Known before the overwrite test: a file an earlier run saved is often still there.
    const RunLedger::Verdict verdict = link.addressFailure
        ? RunLedger::Verdict::New // the address step reports the rule's failure
        : ledger.LinkVerdict(position, link.source, path);
    m_control.CheckLedger();
    if (verdict == RunLedger::Verdict::NotThisRun) {
        ahead.Drop(index);
        return;
    }
    if (verdict == RunLedger::Verdict::Known) {
        ahead.Drop(index);
        m_control.AddToLog(u"Already in the archive: "_s + link.source + u'.');
        m_control.Observer().LinkKnown(link.source, path);
        if (ledger.EnoughKnown(true))
            throw runsteps::SeriesCut{};
        return;
    }
    if (ledger.EnoughKnown(false))
        throw runsteps::SeriesCut{};

    if (verdict != RunLedger::Verdict::SavedWhole && KeepsExisting(job, *m_ports.files, path)) {
        ahead.Drop(index);
        m_control.AddToLog(u"File already exists: "_s + path + u'.');
        m_control.Observer().FileExists(path);
        return;
    }

    m_ports.view->SetStatusText(u"Downloading: "_s + link.link);

    QString address;
    if (link.addressFailure)
        m_control.Failure(link.addressFailure->Code(), link.addressFailure->Description());
    else
        address = link.address;
    if (!address.isEmpty())
        m_control.SetStepAddress(address);

    if (verdict == RunLedger::Verdict::SavedWhole)
        ahead.Drop(index); // its file stands whole from the run that was cut short
    else if (job.chkSaveLinks() == 1
             && DownloadStep(path, link.addressFailure ? QString() : link.source, index, ahead,
                             referrer)
                 == Then::EndLink)
        return;
    if (job.chkSaveHREFs() == 1 && RecordStep(address, number, path) == Then::EndLink)
        return;

    m_control.CountItem();
    m_control.AddToLog(u"Download complete: "_s + path + u'.');
    m_control.Observer().LinkDone(address, path);
}

std::optional<QString> LinkSteps::RuleStep(const std::function<QString()> &rule)
{
    try {
        return rule();
    } catch (const linkrules::RuleError &error) {
        m_control.Failure(error.Code(), error.Description());
        return std::nullopt;
    }
}

LinkSteps::Then LinkSteps::DownloadStep(const QString &path, const QString &source, qsizetype index,
                                        DownloadsAhead &ahead, const QString &referrer)
{
    QString error;
    std::optional<DownloadsAhead::Download> download = ahead.Claim(index, source, path, referrer,
                                                                   error);
    const auto release = qScopeGuard([&] {
        if (download)
            ahead.Release(*download);
    });
    // Without a temporary file beside the path the download goes through memory, and the
    // write then tells why the folder refuses it.
    const Transfer::Result result = download
        ? ahead.Finish(*download)
        : m_ports.transfer->OpenURL({.address = source, .referrer = referrer});
    const qint64 size = std::max<qint64>(result.size, result.content.size());
    // Only a whole download stays beside the path, also while a question is open.
    if (download && !(result.ok && size > kMostBytesOfNoContent))
        ahead.Release(*download);
    if (!result.ok && m_control.Cancelled())
        throw RunCancelled{}; // Stop cut the download short: not a failure to report
    if (!result.ok && !result.fileError) {
        m_control.Failure(result.code, result.description);
        return Then::EndLink; // skipped: no content, so neither a file nor its address
    }
    if (size <= kMostBytesOfNoContent)
        return Then::EndLink;

    // A write that fails asks; skipped, the link goes on to its address record.
    const FileStore::Moved moved = result.fileError
        ? FileStore::Moved::Failed
        : SaveDownloaded(source, path, download ? download->temporary : QString(), result.content,
                         error);
    if (download)
        download->temporary.clear(); // moved onto the path, or already removed
    switch (moved) {
    case FileStore::Moved::Done:
        m_control.Observer().FileSaved(source, path, size);
        break;
    case FileStore::Moved::PathTaken:
        // Another process saved a file of this name since the overwrite test: it is kept, and
        // the link ends as that test would have ended it.
        m_control.AddToLog(u"File already exists: "_s + path + u'.');
        m_control.Observer().FileExists(path);
        return Then::EndLink;
    case FileStore::Moved::Failed:
        m_control.Failure(kFileAccess,
                          result.fileError ? FileAccessError(path, result.description) : error);
        break;
    }
    return Then::NextStep;
}

FileStore::Moved LinkSteps::SaveDownloaded(const QString &source, const QString &path,
                                           const QString &temporary, const QByteArray &content,
                                           QString &error)
{
    m_control.Observer().SavingFile(source, path, temporary);
    FileStore &files = *m_ports.files;
    if (!temporary.isEmpty())
        return files.MoveOnto(temporary, path, m_ports.job->chkOverwrite() == 1, error);
    return files.WriteWhole(path, content, error) ? FileStore::Moved::Done
                                                  : FileStore::Moved::Failed;
}

LinkSteps::Then LinkSteps::RecordStep(const QString &address, double number, QString &path)
{
    const JobSettings &job = *m_ports.job;
    FileStore &files = *m_ports.files;
    const QString folder = job.txtSaveHREFs();
    const QString extension = job.txtDefaultExtension();
    // No folder to write into (ticked during a run with the field empty): skipped, no
    // record is written, and the link still counts.
    const std::optional<QString> listPath = RuleStep(
        [&] { return linkrules::LinkListPath(folder, number, extension); });
    QString error;

    if (!job.optOneHREFPerFile()) {
        if (listPath && !files.AppendRecord(*listPath, address, error)) {
            if (m_control.Cancelled())
                throw RunCancelled{}; // Stop ended its wait for the file: no failure to report
            m_control.Failure(kFileAccess, error);
        }
        return Then::NextStep;
    }

    const QString value = FirstQueryValue(address);
    if (value.isEmpty())
        return Then::EndLink;
    if (!listPath)
        return Then::NextStep;
    // The log line names the page's list file, its folder made on the way.
    const QString name = numbers::ToText(number) + u'.' + extension;
    if (const std::optional<QString> listFile = RuleStep(
            [&] { return linkrules::GetFilename(name, folder, number, extension); }))
        path = *listFile;
    if (!files.WriteRecord(*listPath, value, error))
        m_control.Failure(kFileAccess, error);
    return Then::NextStep;
}

QString LinkSteps::FirstQueryValue(const QString &address)
{
    // The text between the address's first and second "=", up to its first "&".
    QStringList parts = address.split(u'=');
    if (parts.size() < 2)
        m_control.Failure(kSubscriptOutOfRange,
                          u"Subscript out of range: the address has no \"=\": "_s + address);
    else
        parts = parts.at(1).split(u'&');
    // Skipped, the parts are still the whole address, which becomes the value.
    return parts.at(0);
}
