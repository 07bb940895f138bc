#include "runcontrol.h"

#include "failurecodes.h"
#include "runsteps.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// The ledger of a run that keeps no record, the window's: every page visited, every link its
// own way, nothing that could fail.
class NoLedger final : public RunLedger
{
public:
    bool VisitsPage(qint64) const override { return true; }
    Verdict LinkVerdict(qint64, const QString &, const QString &) const override
    {
        return Verdict::New;
    }
    bool EnoughKnown(bool) override { return false; }
    bool Faulted() const override { return false; }
};

RunLedger *LedgerOrNone(RunLedger *ledger)
{
    static NoLedger none;
    return ledger ? ledger : &none;
}

} // namespace

RunControl::RunControl(const RunPorts &ports)
    : m_ports(ports)
    , m_observers(ports.observers)
    , m_ledger(LedgerOrNone(ports.ledger))
{
}

void RunControl::Begin(std::int32_t countFrom)
{
    m_cancelRequested = false;
    m_itemsDownloaded = countFrom;
}

void RunControl::AddToLog(const QString &message)
{
    RunView &view = *m_ports.view;
    if (view.LogLineCount() >= kMaxLogLines)
        view.ClearLog();
    const QString time = m_ports.timeOfDay ? m_ports.timeOfDay() : SystemTimeOfDay();
    view.AppendLogLine(time + u" -> "_s + message);
}

void RunControl::Failure(int code, const QString &description)
{
    const QString text = u"An error has occurred.\r\n\r\nError: "_s + QString::number(code)
        + u"\r\nDescription: "_s + description + u"\r\n\r\nWould you like to continue?"_s;
    m_observers.Failed(code, description, m_stepAddress);
    if (!m_ports.prompt->AskContinue(text))
        throw runsteps::RunAbandoned{};
}

bool RunControl::Cancelled()
{
    if (!m_cancelRequested && m_ledger->Faulted())
        m_cancelRequested = true;
    return m_cancelRequested;
}

void RunControl::CheckPoint()
{
    if (Cancelled())
        throw runsteps::RunCancelled{};
}

void RunControl::CheckLedger()
{
    if (m_ledger->Faulted())
        CheckPoint();
}

void RunControl::CountItem()
{
    if (m_itemsDownloaded == std::numeric_limits<std::int32_t>::max()) {
        Failure(failurecodes::kOverflow, u"Overflow"_s);
        return;
    }
    ++m_itemsDownloaded;
}

template<typename... Params, typename... Args>
void RunControl::Observers::Each(void (RunObserver::*tell)(Params...), const Args &...args)
{
    for (RunObserver *observer : m_list)
        (observer->*tell)(args...);
}

void RunControl::Observers::PageStarted(qint64 position, const QString &address)
{
    Each(&RunObserver::PageStarted, position, address);
}

void RunControl::Observers::PageLoaded(const QString &address)
{
    Each(&RunObserver::PageLoaded, address);
}

void RunControl::Observers::LinksKept(const QString &page, qsizetype found, qsizetype kept)
{
    Each(&RunObserver::LinksKept, page, found, kept);
}

void RunControl::Observers::FileExists(const QString &path)
{
    Each(&RunObserver::FileExists, path);
}

void RunControl::Observers::LinkKnown(const QString &address, const QString &path)
{
    Each(&RunObserver::LinkKnown, address, path);
}

void RunControl::Observers::SavingFile(const QString &address, const QString &path,
                                       const QString &temporary)
{
    Each(&RunObserver::SavingFile, address, path, temporary);
}

void RunControl::Observers::FileSaved(const QString &address, const QString &path, qint64 bytes)
{
    Each(&RunObserver::FileSaved, address, path, bytes);
}

void RunControl::Observers::LinkDone(const QString &address, const QString &path)
{
    Each(&RunObserver::LinkDone, address, path);
}

void RunControl::Observers::Failed(int code, const QString &description, const QString &address)
{
    Each(&RunObserver::Failed, code, description, address);
}

void RunControl::Observers::PageHandled(qint64 position, std::int32_t itemsDownloaded)
{
    Each(&RunObserver::PageHandled, position, itemsDownloaded);
}
