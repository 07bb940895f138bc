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

namespace {

QStringList Entries(const QListWidget *list)
{
    QStringList entries;
    entries.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        entries.append(list->item(i)->text());
    return entries;
}

// The list's selection index: -1 when nothing is selected. (The current row alone is
// not enough: a list that takes the focus gets a current row without a selection.)
int SelectedRow(const QListWidget *list)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void ClearSelection(QListWidget *list)
{
    list->clearSelection();
    list->setCurrentRow(-1);
}

int TickState(const QCheckBox *box)
{
    return box->checkState() == Qt::Checked ? 1 : 0;
}

const QString kFolderpickTitle = QStringLiteral("Folderpick");
const QString kFolderpickMissing = QStringLiteral(
    "The folder picker library (Folderpick) could not be loaded, so Browse is not available. "
    "Type the folder into the field instead.");

} // namespace

frmMain::frmMain(Transfer &inet, QWidget *parent)
    : QMainWindow(parent)
    , m_inet(inet)
    , m_dialogPrompts(std::make_unique<DialogPrompts>(this))
    , m_prompts(m_dialogPrompts.get())
    , m_exitProgram([] { QCoreApplication::exit(0); })
{
    buildControls();
    setInitialValues();
    m_runView = std::make_unique<WidgetRunView>(RunControls{ui.cmdGo, ui.cmdStop, ui.tabMain,
                                                            ui.lstLog, ui.staMain, ui.lblLocation,
                                                            ui.rtfCode, ui.lstCode});
    m_pageBrowser = std::make_unique<WebPageBrowser>(*ui.Browser);
    m_runPrompt = std::make_unique<PromptsRunPrompt>([this]() -> Prompts & { return prompts(); },
                                                     *m_runView);
    // ErrorCheck goes in as a callback: a run queued behind a stopped one is checked
    // when it really starts.
    m_run = std::make_unique<ScrapeRun>(RunPorts{this,
                                                 m_runView.get(),
                                                 m_pageBrowser.get(),
                                                 &m_inet,
                                                 m_runPrompt.get(),
                                                 &m_files,
                                                 [this] { return ErrorCheck(); },
                                                 {}});
    // A user logged in on the Web Browser tab is logged in for the downloads too.
    // Pages loading ahead that a download's cookie would reach are loaded again in their turn.
    ShareBrowserIdentity(
        *ui.Browser->view()->page()->profile(), m_inet, this,
        [this](const QNetworkCookie &cookie) { m_pageBrowser->CookieHandedToStore(cookie); });
    connectHandlers();
    ui.client->installEventFilter(this);
    // Shortcut overrides go to the focused widget, which may be created later (the
    // browsers' render widgets), so the filter watches the application.
    qApp->installEventFilter(this);
    Form_Load();
}

frmMain::~frmMain() = default;

// --- Collaborators -------------------------------------------------------------------

void frmMain::setPrompts(Prompts *prompts)
{
    m_prompts = prompts ? prompts : m_dialogPrompts.get();
}

void frmMain::setFolderPicker(FolderPicker *picker)
{
    m_folderPicker = picker;
}

void frmMain::setShellCommands(ShellCommands commands)
{
    m_shellCommands = std::move(commands);
}

void frmMain::setExitProgram(std::function<void()> exitProgram)
{
    m_exitProgram = std::move(exitProgram);
}

Prompts &frmMain::prompts()
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

bool frmMain::isWindowShortcut(const QKeyEvent &event) const
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
            && isWindowShortcut(*static_cast<QKeyEvent *>(event))) {
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

// --- The job ---------------------------------------------------------------------------

QString frmMain::txtAddress() const
{
    return ui.txtAddress->text();
}
int frmMain::chkIncNum() const
{
    return TickState(ui.chkIncNum);
}
QString frmMain::txtStartNum() const
{
    return ui.txtStartNum->text();
}
QString frmMain::txtStopNum() const
{
    return ui.txtStopNum->text();
}
QString frmMain::txtIncrementNumerically() const
{
    return ui.txtIncrementNumerically->text();
}
int frmMain::chkIncAlpha() const
{
    return TickState(ui.chkIncAlpha);
}
QString frmMain::txtStartAlpha() const
{
    return ui.txtStartAlpha->text();
}
QString frmMain::txtStopAlpha() const
{
    return ui.txtStopAlpha->text();
}
QString frmMain::txtIncrementAlphabetically() const
{
    return ui.txtIncrementAlphabetically->text();
}
QStringList frmMain::lstBeginning() const
{
    return Entries(ui.lstBeginning);
}
bool frmMain::optOr1() const
{
    return ui.optOr1->isChecked();
}
QStringList frmMain::lstInterior() const
{
    return Entries(ui.lstInterior);
}
bool frmMain::optOr2() const
{
    return ui.optOr2->isChecked();
}
QStringList frmMain::lstEnd() const
{
    return Entries(ui.lstEnd);
}
QString frmMain::txtTimeOut() const
{
    return ui.txtTimeOut->text();
}
QString frmMain::txtDefaultExtension() const
{
    return ui.txtDefaultExtension->text();
}
int frmMain::chkOverwrite() const
{
    return TickState(ui.chkOverwrite);
}
int frmMain::chkSaveLinks() const
{
    return TickState(ui.chkSaveLinks);
}
QString frmMain::txtSaveLinks() const
{
    return ui.txtSaveLinks->text();
}
int frmMain::chkSaveHREFs() const
{
    return TickState(ui.chkSaveHREFs);
}
bool frmMain::optOneHREFPerFile() const
{
    return ui.optOneHREFPerFile->isChecked();
}
QString frmMain::txtSaveHREFs() const
{
    return ui.txtSaveHREFs->text();
}

// --- Methods the run calls -------------------------------------------------------------

QLineEdit *frmMain::fieldFor(validation::Field field) const
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
        prompts().MsgBox(refusal->message, validation::kHumanErrorTitle, Prompts::Icon::Critical);
        if (refusal->showSetupPage)
            ui.tabMain->setCurrentIndex(0);
        QLineEdit *field = fieldFor(refusal->focus);
        if (refusal->clearField)
            field->clear();
        field->setFocus(Qt::OtherFocusReason);
        return false;
    }
    if (validation::NeedsCriteriaQuestion(*this))
        return prompts().YesNo(validation::kCriteriaQuestion, validation::kConfirmIntentTitle);
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

void frmMain::TrimList()
{
    // The list a run set may still be waiting to be written.
    m_runView->Flush();
    QStringList links = Entries(ui.lstCode);
    linkrules::TrimList(links, {lstBeginning(), lstInterior(), lstEnd(), optOr1(), optOr2()});
    ui.lstCode->clear();
    ui.lstCode->addItems(links);
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

// --- Criteria commands -----------------------------------------------------------------

void frmMain::addVariable(QListWidget *list, criteriaedit::List kind)
{
    using namespace criteriaedit;
    const AddTexts texts = AddTextsFor(kind);
    const QString entry = prompts().InputBox(texts.prompt, texts.title);
    switch (DecideAdd(Entries(list), entry)) {
    case AddDecision::Duplicate:
        prompts().MsgBox(AlreadyExists(kind, entry), kEndExistsTitle, Prompts::Icon::None);
        return;
    case AddDecision::Empty:
        prompts().MsgBox(kEmptyVariable, kHumanErrorTitle, Prompts::Icon::None);
        return;
    case AddDecision::Append:
        list->addItem(entry);
        return;
    }
}

void frmMain::removeVariable(QListWidget *list, criteriaedit::List kind)
{
    if (SelectedRow(list) < 0)
        return;
    const QString entry = list->item(SelectedRow(list))->text();
    if (!prompts().YesNo(criteriaedit::ConfirmRemove(kind, entry),
                         criteriaedit::kConfirmIntentTitle))
        return;
    // The selection at the moment of the answer decides which entry goes.
    const int row = SelectedRow(list);
    if (row >= 0)
        delete list->takeItem(row);
    ClearSelection(list);
}

void frmMain::moveEndVariable(QListWidget *from, QListWidget *to)
{
    const int row = SelectedRow(from);
    if (row < 0)
        return;
    const QString entry = from->item(row)->text();
    if (Entries(to).contains(entry, Qt::CaseSensitive)) {
        prompts().MsgBox(criteriaedit::AlreadyExists(criteriaedit::List::End, entry),
                         criteriaedit::kEndExistsTitle, Prompts::Icon::None);
        return;
    }
    to->addItem(entry);
    delete from->takeItem(row);
    ClearSelection(from);
}

void frmMain::cmdAddNewBeginning_Click()
{
    addVariable(ui.lstBeginning, criteriaedit::List::Beginning);
}
void frmMain::cmdRemoveNewBeginning_Click()
{
    removeVariable(ui.lstBeginning, criteriaedit::List::Beginning);
}
void frmMain::cmdAddNewInterior_Click()
{
    addVariable(ui.lstInterior, criteriaedit::List::Interior);
}
void frmMain::cmdRemoveNewInterior_Click()
{
    removeVariable(ui.lstInterior, criteriaedit::List::Interior);
}
void frmMain::cmdAddNewEnd_Click()
{
    addVariable(ui.lstEnd, criteriaedit::List::End);
}
void frmMain::cmdRemoveNewEnd_Click()
{
    removeVariable(ui.lstEnd, criteriaedit::List::End);
}
void frmMain::cmdAddEnd_Click()
{
    moveEndVariable(ui.lstPatterns, ui.lstEnd);
}
void frmMain::cmdRemoveEnd_Click()
{
    moveEndVariable(ui.lstEnd, ui.lstPatterns);
}

// --- Interlocks ------------------------------------------------------------------------

void frmMain::chkIncNum_Click()
{
    const bool ticked = chkIncNum() == 1;
    for (QLineEdit *edit : {ui.txtStartNum, ui.txtStopNum, ui.txtIncrementNumerically}) {
        edit->setEnabled(ticked);
        if (!ticked)
            edit->setText(QStringLiteral("1"));
    }
}

void frmMain::chkIncAlpha_Click()
{
    const bool ticked = chkIncAlpha() == 1;
    for (QLineEdit *edit : {ui.txtStartAlpha, ui.txtStopAlpha, ui.txtIncrementAlphabetically})
        edit->setEnabled(ticked);
    if (!ticked) {
        ui.txtStartAlpha->setText(QStringLiteral("a"));
        ui.txtStopAlpha->setText(QStringLiteral("a"));
        ui.txtIncrementAlphabetically->setText(QStringLiteral("1"));
    }
}

void frmMain::chkSaveLinks_Click()
{
    const bool ticked = chkSaveLinks() == 1;
    for (QWidget *w : std::initializer_list<QWidget *>{ui.lblDirectory1, ui.txtSaveLinks,
                                                       ui.cmdBrowse1, ui.chkOverwrite})
        w->setEnabled(ticked);
}

void frmMain::chkSaveHREFs_Click()
{
    const bool ticked = chkSaveHREFs() == 1;
    for (QWidget *w :
         std::initializer_list<QWidget *>{ui.optOneHREFPerFile, ui.optAllHREFsOneFile,
                                          ui.lblDirectory2, ui.txtSaveHREFs, ui.cmdBrowse2})
        w->setEnabled(ticked);
}

void frmMain::txtTimeOut_Change()
{
    const std::optional<double> number = numbers::ToNumber(ui.txtTimeOut->text());
    const std::optional<std::int32_t> seconds = number ? numbers::ToInt32(*number) : std::nullopt;
    // A time-out of zero or less would mean no time-out at all: refused like a non-number.
    if (!ui.txtTimeOut->text().isEmpty() && seconds && *seconds > 0) {
        m_inet.SetRequestTimeout(*seconds);
        return;
    }
    // Setting the text runs this rule once more, which then accepts it; an unchanged
    // text raises no change, so this cannot recurse further.
    ui.txtTimeOut->setText(QString::number(m_inet.RequestTimeout()));
}

void frmMain::txtDefaultExtension_LostFocus()
{
    const QString text = ui.txtDefaultExtension->text();
    if (text.startsWith(u'.'))
        ui.txtDefaultExtension->setText(text.mid(1));
}

void frmMain::browseInto(QLineEdit *field)
{
    const std::optional<QString> folder = m_folderPicker
        ? m_folderPicker->ShowBrowseFolder(QString())
        : std::nullopt;
    if (!folder) {
        prompts().MsgBox(kFolderpickMissing, kFolderpickTitle, Prompts::Icon::Warning);
        return;
    }
    field->setText(*folder);
}

void frmMain::cmdBrowse1_Click()
{
    browseInto(ui.txtSaveLinks);
}
void frmMain::cmdBrowse2_Click()
{
    browseInto(ui.txtSaveHREFs);
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
    m_run->OnDownloadComplete(ui.Browser->lastLoadOk() ? LoadResult::Succeeded
                                                       : LoadResult::Failed);
}
