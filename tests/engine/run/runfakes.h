#pragma once

#include "jobsettings.h"
#include "runports.h"
#include "scraperun.h"
#include "transfer/transfer.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>

// Stand-ins for the window, the browser, the transfer, the prompt and the file system,
// recording what the run did to them.

class FakeView final : public RunView
{
public:
    static inline const QString kTime = QStringLiteral("12:34:56");

    bool goEnabled = true;
    bool stopEnabled = false;
    bool busy = false;
    int statusPageShown = 0;
    QStringList log;
    QStringList statusTexts;
    QStringList captions;
    QString source;
    QStringList codeList;

    void SetGoEnabled(bool enabled) override { goEnabled = enabled; }
    void SetStopEnabled(bool enabled) override { stopEnabled = enabled; }
    void SetBusyPointer(bool on) override { busy = on; }
    void ShowStatusPage() override { ++statusPageShown; }
    int LogLineCount() const override { return static_cast<int>(log.size()); }
    void ClearLog() override { log.clear(); }
    void AppendLogLine(const QString &line) override { log.append(line); }
    void SetStatusText(const QString &text) override { statusTexts.append(text); }
    void SetLocationCaption(const QString &text) override { captions.append(text); }
    void SetSourceText(const QString &text) override { source = text; }
    void SetCodeList(const QStringList &links) override { codeList = links; }

    // The log lines without their time of day.
    QStringList messages() const;
    bool idle() const { return goEnabled && !stopEnabled && !busy; }
};

struct FakePage
{
    LoadResult result = LoadResult::Succeeded;
    QString location; // where the load ends; empty: the address navigated to
    QString markup = QStringLiteral("<html></html>");
};

class FakeBrowser final : public PageBrowser
{
public:
    ScrapeRun *run = nullptr;
    QMap<QString, FakePage> pages;
    bool answerUnknown = true; // addresses not in `pages` load an empty document
    bool holdMarkup = false;   // keep markup requests in `held` instead of answering
    QStringList navigated;
    QString location;
    QString markup;
    QList<std::function<void(const QString &)>> held;
    std::function<void(const QString &)> onNavigate;

    void Navigate(const QString &address) override;
    QString LocationURL() const override { return location; }
    void RequestMarkup(std::function<void(const QString &)> deliver) override;

private:
    QObject m_context;
};

class FakeTransfer final : public Transfer
{
public:
    QHash<QString, Result> results; // addresses not here answer with defaultContent
    QByteArray defaultContent = QByteArrayLiteral("0123456789");
    QStringList requested;
    QList<int> timeouts;
    int hangCount = 0;               // this many calls wait until Cancel
    std::function<void()> whileOpen; // runs once inside a hanging call
    int depth = 0;
    int maxDepth = 0;
    int cancels = 0;

    Result OpenURL(const QString &address) override;
    int RequestTimeout() const override { return m_timeout; }
    void SetRequestTimeout(int seconds) override;
    bool StillExecuting() const override { return m_loop != nullptr; }
    void Cancel() override;

private:
    int m_timeout = 0;
    class QEventLoop *m_loop = nullptr;
};

class FakePrompt final : public RunPrompt
{
public:
    QList<bool> answers; // taken from the front; Yes once they run out
    QStringList texts;

    bool AskContinue(const QString &text) override;
};

class FakeFileStore final : public FileStore
{
public:
    QMap<QString, QByteArray> files;
    QSet<QString> failing;

    bool FileExists(const QString &path) const override { return files.contains(path); }
    bool WriteWhole(const QString &path, const QByteArray &bytes, QString &error) override;
    bool WriteRecord(const QString &path, const QString &text, QString &error) override;
    bool AppendRecord(const QString &path, const QString &text, QString &error) override;
};

// A run with fakes around it; files go to `store` (a real DiskFileStore unless given).
struct RunRig
{
    explicit RunRig(FileStore *store = nullptr);

    PlainJobSettings job;
    FakeView view;
    FakeBrowser browser;
    FakeTransfer transfer;
    FakePrompt prompt;
    std::unique_ptr<FileStore> disk;
    bool refuse = false;
    std::unique_ptr<ScrapeRun> run;
};

// The text the Error prompt shows for a code and a description.
QString ErrorText(int code, const QString &description);
