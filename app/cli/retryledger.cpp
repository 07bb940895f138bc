#include "retryledger.h"

#include "safetext.h"

#include <algorithm>

namespace {

// A link found with blanks around it failed under its address as the rule made it, and is
// downloaded, and so asked about, without them. Both sides are compared in the form --failed
// writes: an escape that was in the address itself stays as it was.
QByteArray WithoutBlanksAround(QByteArray encoded)
{
    static constexpr QByteArrayView kBlank = "%20";
    while (encoded.startsWith(kBlank))
        encoded.remove(0, kBlank.size());
    while (encoded.endsWith(kBlank))
        encoded.chop(kBlank.size());
    return encoded;
}

} // namespace

RetryLedger::RetryLedger(RunLedger &inner, const QList<failedlist::Entry> &entries)
    : m_inner(inner)
    , m_entries(entries)
{
    for (const failedlist::Entry &entry : entries) {
        if (entry.position < 0)
            continue;
        if (entry.page)
            m_wholePages.insert(entry.position);
        else
            m_links[entry.position].insert(WithoutBlanksAround(entry.address));
    }
}

bool RetryLedger::VisitsPage(qint64 position) const
{
    return (m_wholePages.contains(position) || m_links.contains(position))
        && m_inner.VisitsPage(position);
}

RunLedger::Verdict RetryLedger::LinkVerdict(qint64 position, const QString &address,
                                            const QString &path) const
{
    // The list has each address as --failed wrote it: without a password, percent-encoded.
    if (m_wholePages.contains(position)
        || m_links.value(position).contains(
            WithoutBlanksAround(failedlist::EncodedAddress(safetext::HideUserInfo(address)))))
        return m_inner.LinkVerdict(position, address, path);
    // The other links of a page visited for some of its links: an earlier run handled them.
    return Verdict::NotThisRun;
}

bool RetryLedger::EnoughKnown(bool known)
{
    return m_inner.EnoughKnown(known);
}

bool RetryLedger::Faulted() const
{
    return m_inner.Faulted();
}

void RetryLedger::PageHandled(qint64 position, std::int32_t)
{
    m_handled.insert(position);
}

qint64 RetryLedger::PagesToVisit(qint64 seriesPages) const
{
    QSet<qint64> pages = m_wholePages;
    for (auto page = m_links.cbegin(); page != m_links.cend(); ++page)
        pages.insert(page.key());
    return std::count_if(pages.cbegin(), pages.cend(), [&](qint64 position) {
        return position < seriesPages && m_inner.VisitsPage(position);
    });
}

QList<QByteArray> RetryLedger::Untried() const
{
    QList<QByteArray> lines;
    for (const failedlist::Entry &entry : m_entries)
        if (!m_handled.contains(entry.position))
            lines.append(entry.line);
    return lines;
}

// Only the pages handled to their end count.
void RetryLedger::PageStarted(qint64, const QString &)
{
}
void RetryLedger::PageLoaded(const QString &)
{
}
void RetryLedger::LinksKept(const QString &, qsizetype, qsizetype)
{
}
void RetryLedger::FileExists(const QString &)
{
}
void RetryLedger::LinkKnown(const QString &, const QString &)
{
}
void RetryLedger::SavingFile(const QString &, const QString &, const QString &)
{
}
void RetryLedger::FileSaved(const QString &, const QString &, qint64)
{
}
void RetryLedger::LinkDone(const QString &, const QString &)
{
}
void RetryLedger::Failed(int, const QString &, const QString &)
{
}
