#include "frmmain.h"

#include "addresses.h"
#include "browseridentity.h"
#include "helprules.h"
#include "linkrules.h"
#include "loglist.h"
#include "numbers.h"
#include "runadapters.h"
#include "scraperun.h"
#include "transfer/transfer.h"
#include "twips.h"
#include "validation.h"
#include "webbrowser.h"
#include "webpagebrowser.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkCookie>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QWebEnginePage>
#include <QWebEngineView>

frmMain::frmMain(Transfer &inet, QWidget *parent)
    : QMainWindow(parent)
    , m_inet(inet)
    , m_dialogPrompts(std::make_unique<DialogPrompts>(this))
    , m_prompts(m_dialogPrompts.get())
    , m_exitProgram([] { QCoreApplication::exit(0); })
{
    BuildControls();
    SetInitialValues();
    m_runView = std::make_unique<WidgetRunView>(RunControls{ui.cmdGo, ui.cmdStop, ui.tabMain,
                                                            ui.lstLog, ui.staMain, ui.lblLocation,
                                                            ui.rtfCode, ui.lstCode});
    m_pageBrowser = std::make_unique<WebPageBrowser>(*ui.Browser);
    m_runPrompt = std::make_unique<PromptsRunPrompt>(
        [this]() -> Prompts & { return CurrentPrompts(); }, *m_runView);
    // ErrorCheck goes in as a callback: a run queued behind a stopped one is checked
    // when it really starts.
    m_run = std::make_unique<ScrapeRun>(RunPorts{.job = this,
                                                 .view = m_runView.get(),
                                                 .browser = m_pageBrowser.get(),
                                                 .transfer = &m_inet,
                                                 .prompt = m_runPrompt.get(),
                                                 .files = &m_files,
                                                 .errorCheck = [this] { return ErrorCheck(); },
                                                 .outOfSight = m_pageBrowser.get()});
    // A user logged in on the Web Browser tab is logged in for the downloads too.
    // Pages loading ahead that a download's cookie would reach are loaded again in their turn.
    ShareBrowserIdentity(
        *ui.Browser->View()->page()->profile(), m_inet, this,
        [this](const QNetworkCookie &cookie) { m_pageBrowser->CookieHandedToStore(cookie); });
    ConnectHandlers();
    ui.client->installEventFilter(this);
    // Shortcut overrides go to the focused widget, which may be created later (the
    // browsers' render widgets), so the filter watches the application.
    qApp->installEventFilter(this);
    Form_Load();
}

frmMain::~frmMain() = default;

// --- Collaborators -------------------------------------------------------------------

void frmMain::SetPrompts(Prompts *prompts)
{
    m_prompts = prompts ? prompts : m_dialogPrompts.get();
}

void frmMain::SetFolderPicker(FolderPicker *picker)
{
    m_folderPicker = picker;
}

void frmMain::SetShellCommands(ShellCommands commands)
{
    m_shellCommands = std::move(commands);
}

void frmMain::SetExitProgram(std::function<void()> exitProgram)
{
    m_exitProgram = std::move(exitProgram);
}

Prompts &frmMain::CurrentPrompts()
{
    return *m_prompts;
}

// --- Start-up, close, layout ---------------------------------------------------------

QString frmMain::HelpStartPage()
{
    return helprules::HelpStartPage(QCoreApplication::applicationDirPath());
}

void frmMain::Form_Load()
{
    ui.tabMain->setCurrentIndex(0);
    ui.Browser->Navigate(addresses::kHomePage);
    // Preloaded although hidden, so the first opening finds the page ready.
    ui.wbHelp->Navigate(HelpStartPage());

    QSettings settings(QStringLiteral("Linkhauler"), QStringLiteral("Linkhauler"));
    settings.beginGroup(QStringLiteral("Settings"));
    const QVariant stored = settings.value(QStringLiteral("ShowHelp"));
    const std::optional<QString> text = stored.isValid() ? std::optional<QString>(stored.toString())
                                                         : std::nullopt;
    if (helprules::ShowHelpAtStart(text)) {
        mnuHelpHelpBrowser_Click();
        settings.setValue(QStringLiteral("ShowHelp"), helprules::kShowHelpWritten);
        settings.sync();
    }
    // The letter table is linkrules::Letters(), built on first use.
    Form_Resize();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // A run ends at once (a download in progress is cancelled) and no further run starts.
    m_run->Close();
    if (m_inet.StillExecuting())
        m_inet.Cancel();
    m_runView->Flush();
    QMainWindow::closeEvent(event);
}

void frmMain::Form_Resize()
{
    using twips::FromPixels;
    using twips::ToPixels;

    const int width = ui.client->width();
    const int height = ui.client->height();
    ui.staMain->setGeometry(0, height - ui.staMain->height(), width, ui.staMain->height());

    mainlayout::Input in;
    in.clientWidth = FromPixels(width);
    in.clientHeight = FromPixels(height);
    in.statusHeight = FromPixels(ui.staMain->height());
    in.helpVisible = !ui.wbHelp->isHidden();
    mainlayout::Geometry &now = in.current;
    now.tabMain = FromPixels(ui.tabMain->size());
    now.lblLocationWidth = FromPixels(ui.lblLocation->width());
    now.tabStatusView = FromPixels(ui.tabStatusView->size());
    now.lstLogWidth = FromPixels(ui.lstLog->width());
    now.rtfCode = FromPixels(ui.rtfCode->size());
    now.browser = FromPixels(ui.Browser->size());
    now.wbHelp = FromPixels(ui.wbHelp->size());

    const mainlayout::Geometry g = mainlayout::Compute(in);

    // Controls on a tab page keep the vertical offset they were built with.
    const int pageShift = ui.tabStatusView->y() - ToPixels(mainlayout::kTabStatusViewTop);
    ui.tabMain->resize(ToPixels(g.tabMain));
    ui.cmdStop->move(ToPixels(g.cmdStop));
    ui.cmdGo->move(ToPixels(g.cmdGo));
    ui.lblLocation->resize(ToPixels(g.lblLocationWidth), ui.lblLocation->height());
    ui.tabStatusView->resize(ToPixels(g.tabStatusView));
    ui.lstLog->setGeometry(ui.lstLog->x(), ToPixels(g.lstLogTop) + pageShift,
                           ToPixels(g.lstLogWidth), ui.lstLog->height());
    ui.rtfCode->resize(ToPixels(g.rtfCode));
    ui.Browser->resize(ToPixels(g.browser));
    ui.wbHelp->setGeometry(ToPixels(g.wbHelpLeft), 0, ToPixels(g.wbHelp.width()),
                           ToPixels(g.wbHelp.height()));
}

bool frmMain::IsWindowShortcut(const QKeyEvent &event) const
{
    const QKeySequence pressed(event.keyCombination());
    for (const QAction *action :
         {ui.mnuFileExit, ui.mnuHelpHelpBrowser, ui.mnuHelpFeedback, ui.mnuHelpAbout}) {
        if (action->isEnabled() && action->shortcut() == pressed)
            return true;
    }
    return false;
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Text fields claim Ctrl+X and Ctrl+A for themselves; the window's commands win.
        if (watched->isWidgetType() && static_cast<QWidget *>(watched)->window() == this
            && IsWindowShortcut(*static_cast<QKeyEvent *>(event))) {
            event->ignore();
            return true;
        }
        break;
    case QEvent::FocusOut:
        if (watched == ui.txtDefaultExtension) {
            const auto reason = static_cast<QFocusEvent *>(event)->reason();
            // Another window taking the activation does not move the focus in this one.
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                txtDefaultExtension_LostFocus();
        }
        break;
    case QEvent::Resize:
        if (watched == ui.client)
            Form_Resize();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- Methods the run calls -------------------------------------------------------------

QLineEdit *frmMain::FieldFor(validation::Field field) const
{
    using validation::Field;
    switch (field) {
    case Field::txtAddress:
        return ui.txtAddress;
    case Field::txtStartNum:
        return ui.txtStartNum;
    case Field::txtStopNum:
        return ui.txtStopNum;
    case Field::txtIncrementNumerically:
        return ui.txtIncrementNumerically;
    case Field::txtStartAlpha:
        return ui.txtStartAlpha;
    case Field::txtStopAlpha:
        return ui.txtStopAlpha;
    case Field::txtIncrementAlphabetically:
        return ui.txtIncrementAlphabetically;
    case Field::txtSaveLinks:
        return ui.txtSaveLinks;
    case Field::txtDefaultExtension:
        return ui.txtDefaultExtension;
    case Field::txtSaveHREFs:
        return ui.txtSaveHREFs;
    }
    return ui.txtAddress;
}

bool frmMain::ErrorCheck()
{
    if (const std::optional<validation::Refusal> refusal = validation::CheckJob(*this)) {
        CurrentPrompts().MsgBox(refusal->message, validation::kHumanErrorTitle,
                                Prompts::Icon::Critical);
        if (refusal->showSetupPage)
            ui.tabMain->setCurrentIndex(0);
        QLineEdit *field = FieldFor(refusal->focus);
        if (refusal->clearField)
            field->clear();
        field->setFocus(Qt::OtherFocusReason);
        return false;
    }
    if (validation::NeedsCriteriaQuestion(*this))
        return CurrentPrompts().YesNo(validation::kCriteriaQuestion,
                                      validation::kConfirmIntentTitle);
    return true;
}

QString frmMain::GetPath(const QString &link) const
{
    return linkrules::GetPath(link, txtAddress());
}

QString frmMain::GetFilename(const QString &name, const QString &folder) const
{
    return linkrules::GetFilename(name, folder, m_run->CurrentNumber(), txtDefaultExtension());
}

std::optional<int> frmMain::GetAsc(const QString &text) const
{
    return linkrules::GetAsc(text);
}

bool frmMain::CheckExtension(const QString &link) const
{
    return linkrules::CheckExtension(link,
                                     {lstBeginning(), lstInterior(), lstEnd(), optOr1(), optOr2()});
}

void frmMain::AddToLog(const QString &message)
{
    m_run->AddToLog(message);
}

bool frmMain::IsRunning() const
{
    return m_run->IsRunning();
}
bool frmMain::CancelRequested() const
{
    return m_run->CancelRequested();
}
std::int32_t frmMain::ItemsDownloaded() const
{
    return m_run->ItemsDownloaded();
}
double frmMain::CurrentNumber() const
{
    return m_run->CurrentNumber();
}
QString frmMain::PageMarkup() const
{
    return m_run->PageMarkup();
}

// --- Menu ------------------------------------------------------------------------------

void frmMain::mnuFileExit_Click()
{
    // The program ends without the close step; a run still going is ended first, which
    // cancels its download (no transfer runs outside a run, so idle Exit asks nothing).
    if (m_run->IsRunning())
        m_run->Close();
    if (m_exitProgram)
        m_exitProgram();
}

void frmMain::mnuSupport_Click()
{
    if (m_shellCommands.support)
        m_shellCommands.support(this);
}

void frmMain::mnuHelpHelpBrowser_Click()
{
    if (ui.wbHelp->isHidden()) {
        ui.wbHelp->Navigate(HelpStartPage());
        ui.wbHelp->show();
    } else {
        ui.wbHelp->hide();
    }
    Form_Resize();
}

void frmMain::mnuHelpFeedback_Click()
{
    if (m_shellCommands.feedback)
        m_shellCommands.feedback(this);
}

void frmMain::mnuHelpAbout_Click()
{
    if (m_shellCommands.about)
        m_shellCommands.about(this);
}

void frmMain::wbHelp_DownloadComplete()
{
    if (helprules::IsCloseMessage(ui.wbHelp->LocationURL()))
        mnuHelpHelpBrowser_Click();
}

// --- Run -------------------------------------------------------------------------------

// The run calls ErrorCheck itself, as it starts.
void frmMain::cmdGo_Click()
{
    m_run->Go();
}

void frmMain::cmdStop_Click()
{
    m_run->Stop();
}

// Every finished load of Browser, inside a run or not.
void frmMain::Browser_DownloadComplete()
{
    m_run->LoadEnded(ui.Browser->LastLoadOk() ? LoadResult::Succeeded : LoadResult::Failed);
}
