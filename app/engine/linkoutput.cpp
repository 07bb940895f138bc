// The run's handling of one page's links: fetching ahead, and each link's steps in turn.

#include "scraperun.h"

#include "downloadsahead.h"
#include "failurecodes.h"
#include "jobsettings.h"
#include "linkrules.h"
#include "numbers.h"
#include "runsteps.h"
#include "transfer/transfer.h"

#include <QScopeGuard>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;
using failurecodes::kFileAccess;
using failurecodes::kOverflow;
using failurecodes::kSubscriptOutOfRange;
using linkrules::TrimSpaces;
using runsteps::RunCancelled;

namespace {

// A download of this many bytes or fewer is no content worth a file, nor its address.
constexpr qint64 kMostBytesOfNoContent = 2;

} // namespace

void ScrapeRun::PlanAhead(DownloadsAhead &ahead, PagePlan &plan)
{
    // Only what the link's own turn would download is fetched ahead; any guess that turns
    // out wrong there is dropped and the link fetched in its turn.
    const JobSettings &job = *m_ports.job;
    if (job.chkSaveLinks() != 1 || job.txtSaveLinks().isEmpty())
        return;
    const bool overwrite = job.chkOverwrite() == 1;
    while (plan.next < m_lstCode.size() && ahead.Held() < Transfer::MaxParallel) {
        const qsizetype index = plan.next++;
        const QString &link = m_lstCode.at(index);
        QString path, address;
        try {
            path = DownloadPath(link);
            address = TrimSpaces(linkrules::GetPath(link, job.txtAddress()));
        } catch (const linkrules::RuleError &) {
            continue; // its turn reports the rule's failure
        }
        // Without overwriting, a name taken earlier on the page is there by the link's turn.
        if ((!overwrite && plan.paths.contains(path)) || KeepsExisting(path)
            || Ledger().LinkHeld(m_page.position, address, path) != RunLedger::Held::No)
            continue;
        plan.paths.insert(path);
        ahead.Offer(index, address, path, m_referrer);
    }
}

QString ScrapeRun::DownloadPath(const QString &link)
{
    const JobSettings &job = *m_ports.job;
    const QString folder = job.txtSaveLinks();
    const QString extension = job.txtDefaultExtension();
    if (folder.isEmpty() && job.chkSaveLinks() != 1) {
        // Nothing is saved and there is no folder to make: the file name alone serves
        // the log line.
        const QString here = linkrules::GetFilename(link, u"."_s, m_currentNumber, extension);
        return here.mid(2);
    }
    return linkrules::GetFilename(link, folder, m_currentNumber, extension);
}

bool ScrapeRun::KeepsExisting(const QString &path) const
{
    // Without a download folder the path is a bare name: testing it would look into
    // whatever the process's current directory happens to be.
    const JobSettings &job = *m_ports.job;
    return !job.txtSaveLinks().isEmpty() && job.chkOverwrite() != 1
        && m_ports.files->FileExists(path);
}

RunLedger::Held ScrapeRun::Held(qint64 position, const QString &link, const QString &path) const
{
    if (!m_ports.ledger)
        return RunLedger::Held::No;
    try {
        const QString address = TrimSpaces(linkrules::GetPath(link, m_ports.job->txtAddress()));
        return m_ports.ledger->LinkHeld(position, address, path);
    } catch (const linkrules::RuleError &) {
        return RunLedger::Held::No; // the address step reports the rule's failure
    }
}

// One link, step after step. A step that fails asks the "Error" question (Failure): No
// ends the run on the spot; Yes skips that step and the link goes on with the next one,
// which then works with what the skipped step left (no path, no address, no list file).
// A step that ends the link early returns Then::EndLink.
void ScrapeRun::SaveLink(const QString &link, qsizetype index, DownloadsAhead &ahead)
{
    const JobSettings &job = *m_ports.job;

    // A failure names the link by its address already in the steps before the address
    // step, so that the failed addresses can be fetched again; the link as found where it
    // has none.
    m_stepAddress = link;
    try {
        m_stepAddress = linkrules::GetPath(link, job.txtAddress());
    } catch (const linkrules::RuleError &) {
    }

    // The download path; its folder is made on the way. Skipped, there is none: nothing
    // exists there, and a download's write fails and asks again.
    QString path = RuleStep([&] { return DownloadPath(link); }).value_or(QString());

    // Known before the overwrite test: a file an earlier run saved is often still there.
    const RunLedger::Held held = Held(m_page.position, link, path);
    if (held == RunLedger::Held::Known) {
        ahead.Drop(index);
        const QString address = TrimSpaces(linkrules::GetPath(link, job.txtAddress()));
        AddToLog(u"Already in the archive: "_s + address + u'.');
        Events().LinkKnown(address, path);
        if (Ledger().EnoughKnown(true))
            throw runsteps::SeriesCut{};
        return;
    }
    if (Ledger().EnoughKnown(false))
        throw runsteps::SeriesCut{};

    if (held != RunLedger::Held::SavedWhole && KeepsExisting(path)) {
        ahead.Drop(index);
        AddToLog(u"File already exists: "_s + path + u'.');
        Events().FileExists(path);
        return;
    }

    m_ports.view->SetStatusText(u"Downloading: "_s + link);

    const auto absolute = [&] { return linkrules::GetPath(link, job.txtAddress()); };
    const QString address = RuleStep(absolute).value_or(QString());
    if (!address.isEmpty())
        m_stepAddress = address;

    if (held == RunLedger::Held::SavedWhole)
        ahead.Drop(index); // its file stands whole from the run that was cut short
    else if (job.chkSaveLinks() == 1 && DownloadStep(path, address, index, ahead) == Then::EndLink)
        return;
    if (job.chkSaveHREFs() == 1 && RecordStep(address, path) == Then::EndLink)
        return;

    CountItem();
    AddToLog(u"Download complete: "_s + path + u'.');
    Events().LinkDone(address, path);
}

std::optional<QString> ScrapeRun::RuleStep(const std::function<QString()> &rule)
{
    try {
        return rule();
    } catch (const linkrules::RuleError &error) {
        Failure(error.Code(), error.Description());
        return std::nullopt;
    }
}

ScrapeRun::Then ScrapeRun::DownloadStep(const QString &path, const QString &address,
                                        qsizetype index, DownloadsAhead &ahead)
{
    const QString source = TrimSpaces(address);
    QString error;
    std::optional<DownloadsAhead::Fetch> fetch = ahead.Claim(index, source, path, m_referrer,
                                                             error);
    const auto release = qScopeGuard([&] {
        if (fetch)
            ahead.Release(*fetch);
    });
    // Without a temporary file beside the path the download goes through memory, and the
    // write then tells why the folder refuses it.
    const Transfer::Result result = fetch
        ? ahead.Finish(*fetch)
        : m_ports.transfer->OpenURL({.address = source, .referrer = m_referrer});
    const qint64 size = std::max<qint64>(result.size, result.content.size());
    // Only a whole download stays beside the path, also while a question is open.
    if (fetch && !(result.ok && size > kMostBytesOfNoContent))
        ahead.Release(*fetch);
    if (!result.ok && m_cancelRequested)
        throw RunCancelled{}; // Stop cut the download short: not a failure to report
    if (!result.ok && !result.fileError) {
        Failure(result.code, result.description);
        return Then::EndLink; // skipped: no content, so neither a file nor its address
    }
    if (size <= kMostBytesOfNoContent)
        return Then::EndLink;

    // A write that fails asks; skipped, the link goes on to its address record.
    if (result.fileError)
        Failure(kFileAccess, FileAccessError(path, result.description));
    else if (!SaveFetched(source, path, fetch ? fetch->temporary : QString(), result.content,
                          error))
        Failure(kFileAccess, error);
    else {
        Ledger().FileSaved(source, path, size);
        Events().FileSaved(source, path, size);
    }
    if (fetch)
        fetch->temporary.clear(); // moved onto the path, or already removed
    return Then::NextStep;
}

bool ScrapeRun::SaveFetched(const QString &source, const QString &path, const QString &temporary,
                            const QByteArray &content, QString &error)
{
    Ledger().SavingFile(source, path, temporary);
    FileStore &files = *m_ports.files;
    return temporary.isEmpty() ? files.WriteWhole(path, content, error)
                               : files.ReplaceWith(temporary, path, error);
}

ScrapeRun::Then ScrapeRun::RecordStep(const QString &address, QString &path)
{
    const JobSettings &job = *m_ports.job;
    FileStore &files = *m_ports.files;
    const QString folder = job.txtSaveHREFs();
    const QString extension = job.txtDefaultExtension();
    // No folder to write into (ticked during a run with the field empty): skipped, no
    // record is written, and the link still counts.
    const std::optional<QString> listPath = RuleStep(
        [&] { return linkrules::LinkListPath(folder, m_currentNumber, extension); });
    QString error;

    if (!job.optOneHREFPerFile()) {
        if (listPath && !files.AppendRecord(*listPath, address, error)) {
            if (m_cancelRequested)
                throw RunCancelled{}; // Stop ended its wait for the file: no failure to report
            Failure(kFileAccess, error);
        }
        return Then::NextStep;
    }

    const QString value = FirstQueryValue(address);
    if (value.isEmpty())
        return Then::EndLink;
    if (!listPath)
        return Then::NextStep;
    // The log line names the page's list file, its folder made on the way.
    const QString name = numbers::ToText(m_currentNumber) + u'.' + extension;
    if (const std::optional<QString> listFile = RuleStep(
            [&] { return linkrules::GetFilename(name, folder, m_currentNumber, extension); }))
        path = *listFile;
    if (!files.WriteRecord(*listPath, value, error))
        Failure(kFileAccess, error);
    return Then::NextStep;
}

QString ScrapeRun::FirstQueryValue(const QString &address)
{
    // The text between the address's first and second "=", up to its first "&".
    QStringList parts = address.split(u'=');
    if (parts.size() < 2)
        Failure(kSubscriptOutOfRange,
                u"Subscript out of range: the address has no \"=\": "_s + address);
    else
        parts = parts.at(1).split(u'&');
    // Skipped, the parts are still the whole address, which becomes the value.
    return parts.at(0);
}

void ScrapeRun::CountItem()
{
    if (m_itemsDownloaded == std::numeric_limits<std::int32_t>::max()) {
        Failure(kOverflow, u"Overflow"_s);
        return;
    }
    ++m_itemsDownloaded;
}
