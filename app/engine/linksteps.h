#pragma once

#include "runports.h"

#include <QString>

#include <functional>
#include <optional>

class DownloadsAhead;
class RunControl;
struct ResolvedLink;

// One kept link in its turn, step after step: the download path, the ledger's verdict, the
// overwrite test, the address, the download, the address record, the count and the log line.
// A step that fails asks the "Error" question: No ends the run on the spot; Yes skips that step
// and the link goes on with the next one, which then works with what the skipped step left (no
// path, no address, no list file).
class LinkSteps final
{
public:
    LinkSteps(const RunPorts &ports, RunControl &control);

    // The link of the page at `position` whose number is `number`, at `index` in its list; its
    // download may have been started ahead.
    void Take(const ResolvedLink &link, qint64 position, double number, qsizetype index,
              DownloadsAhead &ahead, const QString &referrer);

private:
    // What a step leaves to the link: its next step, or its end.
    enum class Then { NextStep, EndLink };

    // A step that applies a link rule; none when the rule failed and Yes skipped the step.
    std::optional<QString> RuleStep(const std::function<QString()> &rule);
    // The content of the address into the path.
    Then DownloadStep(const QString &path, const QString &address, qsizetype index,
                      DownloadsAhead &ahead, const QString &referrer);
    FileStore::Moved SaveDownloaded(const QString &source, const QString &path,
                                    const QString &temporary, const QByteArray &content,
                                    QString &error);
    // The address record in the page's link-address file; in one-per-file mode the path
    // becomes that file's, for the log line.
    Then RecordStep(const QString &address, double number, QString &path);
    QString FirstQueryValue(const QString &address);

    const RunPorts &m_ports;
    RunControl &m_control;
};
