#pragma once

#include "runports.h"

#include <QString>

#include <cstdint>

// What every part of a run shares: its log, its "Error" question, its check points, its count,
// and those who hear of it. Parts receive it; it calls nothing but the ports.
class RunControl final
{
public:
    explicit RunControl(const RunPorts &ports);
    Q_DISABLE_COPY_MOVE(RunControl)

    // A run begins: not stopped, counting from `countFrom`.
    void Begin(std::int32_t countFrom);

    // One activity log line: time of day, " -> ", message. A full log (kMaxLogLines) is
    // cleared first.
    void AddToLog(const QString &message);
    static constexpr int kMaxLogLines = 32768;

    // A step failed: asks the "Error" question. Returns on Yes, and the caller goes on with
    // its next step; throws RunAbandoned on No, which ends the run.
    void Failure(int code, const QString &description);
    // The page's or the link's address that the steps from now on work on; empty between pages.
    void SetStepAddress(const QString &address) { m_stepAddress = address; }
    QString StepAddress() const { return m_stepAddress; }

    // Stop was pressed.
    void RequestStop() { m_cancelRequested = true; }
    // Stop was pressed, or the ledger could not keep its record: from then on the run acts as
    // stopped at every check point.
    bool Cancelled();
    // A check point: throws RunCancelled once Cancelled.
    void CheckPoint();
    // A check point for what the ledger has just been asked or told: throws RunCancelled when it
    // could not keep its record.
    void CheckLedger();
    bool CancelRequested() const { return m_cancelRequested; }

    // ItemsDownloaded, one more; at its limit the step fails with an overflow instead.
    void CountItem();
    std::int32_t ItemsDownloaded() const { return m_itemsDownloaded; }

    RunObserver &Observer() { return m_observers; }
    RunLedger &Ledger() const { return *m_ledger; }

private:
    // Every observer the run was given, in their order.
    class Observers final : public RunObserver
    {
    public:
        explicit Observers(QList<RunObserver *> list) : m_list(std::move(list)) {}

        void PageStarted(qint64 position, const QString &address) override;
        void PageLoaded(const QString &address) override;
        void LinksKept(const QString &page, qsizetype found, qsizetype kept) override;
        void FileExists(const QString &path) override;
        void LinkKnown(const QString &address, const QString &path) override;
        void SavingFile(const QString &address, const QString &path,
                        const QString &temporary) override;
        void FileSaved(const QString &address, const QString &path, qint64 bytes) override;
        void LinkDone(const QString &address, const QString &path) override;
        void Failed(int code, const QString &description, const QString &address) override;
        void PageHandled(qint64 position, std::int32_t itemsDownloaded) override;

    private:
        template<typename... Params, typename... Args>
        void Each(void (RunObserver::*tell)(Params...), const Args &...args);

        QList<RunObserver *> m_list;
    };

    const RunPorts &m_ports;
    Observers m_observers;
    RunLedger *m_ledger;
    bool m_cancelRequested = false;
    std::int32_t m_itemsDownloaded = 0;
    QString m_stepAddress;
};
