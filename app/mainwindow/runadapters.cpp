#include "runadapters.h"

#include "loglist.h"
#include "prompts.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>

#include <utility>

using namespace Qt::StringLiterals;

WidgetRunView::WidgetRunView(const RunControls &controls) : m_controls(controls)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushMs);
    QObject::connect(&m_flushTimer, &QTimer::timeout, &m_flushTimer, [this] { Flush(); });
}

WidgetRunView::~WidgetRunView()
{
    Flush();
    if (m_busy)
        QApplication::restoreOverrideCursor();
}

void WidgetRunView::Schedule()
{
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void WidgetRunView::Flush()
{
    m_flushTimer.stop();
    if (m_pending.empty())
        return;
    const Pending pending = std::exchange(m_pending, {});
    // Each of these only schedules a paint of its widget; none paints at once.
    if (pending.status)
        m_controls.staMain->showMessage(*pending.status);
    if (pending.caption) {
        // The caption arrives with "&" written "&&", the way a caption escapes it; a label
        // without a buddy shows its text literally, so undo that for the eye.
        m_controls.lblLocation->setText(
            QString(*pending.caption).replace(QStringLiteral("&&"), QStringLiteral("&")));
    }
    if (pending.source)
        m_controls.rtfCode->setPlainText(*pending.source);
    if (pending.codeList) {
        m_controls.lstCode->clear();
        m_controls.lstCode->addItems(*pending.codeList);
    }
    m_controls.lstLog->AppendLines(pending.logLines);
}

void WidgetRunView::SetGoEnabled(bool enabled)
{
    Flush();
    m_controls.cmdGo->setEnabled(enabled);
}

void WidgetRunView::SetStopEnabled(bool enabled)
{
    Flush();
    m_controls.cmdStop->setEnabled(enabled);
}

void WidgetRunView::SetBusyPointer(bool busy)
{
    // The override cursor stacks; keep exactly one level of ours.
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void WidgetRunView::ShowStatusPage()
{
    Flush();
    m_controls.tabMain->setCurrentIndex(1);
}

int WidgetRunView::LogLineCount() const
{
    return m_controls.lstLog->count() + static_cast<int>(m_pending.logLines.size());
}

void WidgetRunView::ClearLog()
{
    m_pending.logLines.clear();
    m_controls.lstLog->clear();
}

void WidgetRunView::AppendLogLine(const QString &line)
{
    m_pending.logLines.append(line);
    Schedule();
}

void WidgetRunView::SetStatusText(const QString &text)
{
    m_pending.status = text;
    Schedule();
}

void WidgetRunView::SetLocationCaption(const QString &text)
{
    m_pending.caption = text;
    Schedule();
}

void WidgetRunView::SetSourceText(const QString &text)
{
    m_pending.source = text;
    Schedule();
}

void WidgetRunView::SetCodeList(const QStringList &links)
{
    m_pending.codeList = links;
    Schedule();
}

bool PromptsRunPrompt::AskContinue(const QString &text)
{
    m_view.Flush();
    return m_prompts().YesNo(text, u"Error"_s);
}
