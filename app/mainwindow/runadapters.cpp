#include "runadapters.h"

#include "loglist.h"
#include "prompts.h"
#include "webbrowser.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>

using namespace Qt::StringLiterals;

WidgetRunView::~WidgetRunView()
{
    if (m_busy)
        QApplication::restoreOverrideCursor();
}

void WidgetRunView::SetGoEnabled(bool enabled)
{
    m_controls.cmdGo->setEnabled(enabled);
}

void WidgetRunView::SetStopEnabled(bool enabled)
{
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
    m_controls.tabMain->setCurrentIndex(1);
}

int WidgetRunView::LogLineCount() const
{
    return m_controls.lstLog->count();
}

void WidgetRunView::ClearLog()
{
    m_controls.lstLog->clear();
}

void WidgetRunView::AppendLogLine(const QString &line)
{
    m_controls.lstLog->appendLine(line);
}

void WidgetRunView::SetStatusText(const QString &text)
{
    m_controls.staMain->showMessage(text);
}

void WidgetRunView::SetLocationCaption(const QString &text)
{
    // The caption arrives with "&" written "&&", the way a caption escapes it; a label
    // without a buddy shows its text literally, so undo that for the eye.
    m_controls.lblLocation->setText(QString(text).replace(QStringLiteral("&&"), QStringLiteral("&")));
}

void WidgetRunView::SetSourceText(const QString &text)
{
    m_controls.rtfCode->setPlainText(text);
}

void WidgetRunView::SetCodeList(const QStringList &links)
{
    m_controls.lstCode->clear();
    m_controls.lstCode->addItems(links);
}

void WebPageBrowser::Navigate(const QString &address)
{
    m_browser.Navigate(address);
}

QString WebPageBrowser::LocationURL() const
{
    return m_browser.LocationURL();
}

void WebPageBrowser::RequestMarkup(std::function<void(const QString &markup)> deliver)
{
    m_browser.requestOuterHtml([deliver = std::move(deliver)](bool ok, const QString &markup) {
        if (ok)
            deliver(markup);
    });
}

bool PromptsRunPrompt::AskContinue(const QString &text)
{
    return m_prompts().YesNo(text, u"Error"_s);
}
