// The job's fields: read by the run and the rules, edited by the criteria commands, and kept
// consistent with each other by the interlocks.

#include "frmmain.h"

#include "criteriaedit.h"
#include "linkrules.h"
#include "numbers.h"
#include "runadapters.h"
#include "transfer/transfer.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

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

void frmMain::TrimList()
{
    // The list a run set may still be waiting to be written.
    m_runView->Flush();
    QStringList links = Entries(ui.lstCode);
    linkrules::TrimList(links, {lstBeginning(), lstInterior(), lstEnd(), optOr1(), optOr2()});
    ui.lstCode->clear();
    ui.lstCode->addItems(links);
}

// --- Criteria commands -----------------------------------------------------------------

void frmMain::AddVariable(QListWidget *list, criteriaedit::List kind)
{
    using namespace criteriaedit;
    const AddTexts texts = AddTextsFor(kind);
    const QString entry = CurrentPrompts().InputBox(texts.prompt, texts.title);
    switch (DecideAdd(Entries(list), entry)) {
    case AddDecision::Duplicate:
        CurrentPrompts().MsgBox(AlreadyExists(kind, entry), kEndExistsTitle, Prompts::Icon::None);
        return;
    case AddDecision::Empty:
        CurrentPrompts().MsgBox(kEmptyVariable, kHumanErrorTitle, Prompts::Icon::None);
        return;
    case AddDecision::Append:
        list->addItem(entry);
        return;
    }
}

void frmMain::RemoveVariable(QListWidget *list, criteriaedit::List kind)
{
    if (SelectedRow(list) < 0)
        return;
    const QString entry = list->item(SelectedRow(list))->text();
    if (!CurrentPrompts().YesNo(criteriaedit::ConfirmRemove(kind, entry),
                                criteriaedit::kConfirmIntentTitle))
        return;
    // The selection at the moment of the answer decides which entry goes.
    const int row = SelectedRow(list);
    if (row >= 0)
        delete list->takeItem(row);
    ClearSelection(list);
}

void frmMain::MoveEndVariable(QListWidget *from, QListWidget *to)
{
    const int row = SelectedRow(from);
    if (row < 0)
        return;
    const QString entry = from->item(row)->text();
    if (Entries(to).contains(entry, Qt::CaseSensitive)) {
        CurrentPrompts().MsgBox(criteriaedit::AlreadyExists(criteriaedit::List::End, entry),
                                criteriaedit::kEndExistsTitle, Prompts::Icon::None);
        return;
    }
    to->addItem(entry);
    delete from->takeItem(row);
    ClearSelection(from);
}

void frmMain::cmdAddNewBeginning_Click()
{
    AddVariable(ui.lstBeginning, criteriaedit::List::Beginning);
}
void frmMain::cmdRemoveNewBeginning_Click()
{
    RemoveVariable(ui.lstBeginning, criteriaedit::List::Beginning);
}
void frmMain::cmdAddNewInterior_Click()
{
    AddVariable(ui.lstInterior, criteriaedit::List::Interior);
}
void frmMain::cmdRemoveNewInterior_Click()
{
    RemoveVariable(ui.lstInterior, criteriaedit::List::Interior);
}
void frmMain::cmdAddNewEnd_Click()
{
    AddVariable(ui.lstEnd, criteriaedit::List::End);
}
void frmMain::cmdRemoveNewEnd_Click()
{
    RemoveVariable(ui.lstEnd, criteriaedit::List::End);
}
void frmMain::cmdAddEnd_Click()
{
    MoveEndVariable(ui.lstPatterns, ui.lstEnd);
}
void frmMain::cmdRemoveEnd_Click()
{
    MoveEndVariable(ui.lstEnd, ui.lstPatterns);
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

void frmMain::BrowseInto(QLineEdit *field)
{
    const std::optional<QString> folder = m_folderPicker
        ? m_folderPicker->ShowBrowseFolder(QString())
        : std::nullopt;
    if (!folder) {
        CurrentPrompts().MsgBox(kFolderpickMissing, kFolderpickTitle, Prompts::Icon::Warning);
        return;
    }
    field->setText(*folder);
}

void frmMain::cmdBrowse1_Click()
{
    BrowseInto(ui.txtSaveLinks);
}
void frmMain::cmdBrowse2_Click()
{
    BrowseInto(ui.txtSaveHREFs);
}
