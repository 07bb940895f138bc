#pragma once

#include "criteriaedit.h"
#include "diskfilestore.h"
#include "folderpicker.h"
#include "jobsettings.h"
#include "mainlayout.h"
#include "prompts.h"
#include "shellcommands.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class LogList;
class PromptsRunPrompt;
class ScrapeRun;
class Transfer;
class WebBrowser;
class WebPageBrowser;
class WidgetRunView;
namespace validation {
enum class Field;
}

// The program's working window. Its fields are the job (JobSettings); validation, the
// link rules and the layout rule live in plain code that the handlers call.
class frmMain final : public QMainWindow, public JobSettings
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmMain)

public:
    // Builds the window and runs its start-up: Setup page, start pages of both
    // browsers, first-start help pane (per-user setting "Settings"/"ShowHelp").
    explicit frmMain(Transfer &inet, QWidget *parent = nullptr);
    ~frmMain() override;

    // --- Collaborators -----------------------------------------------------------
    // nullptr restores the real message and input boxes. Not owned.
    void SetPrompts(Prompts *prompts);
    // The Browse buttons' picker; without one, Browse explains that it is unavailable.
    void SetFolderPicker(FolderPicker *picker);
    void SetShellCommands(ShellCommands commands);
    // File > Exit. The default leaves every event loop at once (QCoreApplication::exit),
    // which does not close the window, so the close step is skipped (a run in progress
    // is ended first all the same).
    void SetExitProgram(std::function<void()> exitProgram);

    // --- The job, read live from the fields ------------------------------------------
    QString txtAddress() const override;
    int chkIncNum() const override;
    QString txtStartNum() const override;
    QString txtStopNum() const override;
    QString txtIncrementNumerically() const override;
    int chkIncAlpha() const override;
    QString txtStartAlpha() const override;
    QString txtStopAlpha() const override;
    QString txtIncrementAlphabetically() const override;
    QStringList lstBeginning() const override;
    bool optOr1() const override;
    QStringList lstInterior() const override;
    bool optOr2() const override;
    QStringList lstEnd() const override;
    QString txtTimeOut() const override;
    QString txtDefaultExtension() const override;
    int chkOverwrite() const override;
    int chkSaveLinks() const override;
    QString txtSaveLinks() const override;
    int chkSaveHREFs() const override;
    bool optOneHREFPerFile() const override;
    QString txtSaveHREFs() const override;

    // --- Methods the run calls -------------------------------------------------------
    // Checks the job; on a refusal tells the user, shows the field and answers false.
    bool ErrorCheck();
    QString GetPath(const QString &link) const;
    QString GetFilename(const QString &name, const QString &folder) const;
    std::optional<int> GetAsc(const QString &text) const;
    bool CheckExtension(const QString &link) const;
    // Filters lstCode by the criteria in place.
    void TrimList();
    // One activity log line: time of day, " -> ", message.
    void AddToLog(const QString &message);

    // --- The run's state, kept between runs ----------------------------------------------
    // True from Go until the run has unwound (after Stop it may still be unwinding).
    bool IsRunning() const;
    bool CancelRequested() const;
    std::int32_t ItemsDownloaded() const;
    // The number that replaced "^N" for the current page; also names files.
    double CurrentNumber() const;
    QString PageMarkup() const;

    // The help start page beside the program, as a file address.
    static QString HelpStartPage();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Controls, named as the window's design names them (and so their objectNames).
    struct Controls
    {
        QWidget *client = nullptr; // the client area below the menu bar

        QMenu *mnuFile = nullptr;
        QAction *mnuFileExit = nullptr;
        QAction *mnuSupport = nullptr;
        QMenu *mnuHelp = nullptr;
        QAction *mnuHelpHelpBrowser = nullptr;
        QAction *mnuHelpSep1 = nullptr;
        QAction *mnuHelpFeedback = nullptr;
        QAction *mnuHelpSep2 = nullptr;
        QAction *mnuHelpAbout = nullptr;

        QTabWidget *tabMain = nullptr;
        QWidget *pageSetup = nullptr;
        QWidget *pageStatusView = nullptr;

        QGroupBox *fraTarget = nullptr;
        QLineEdit *txtAddress = nullptr;
        QCheckBox *chkIncNum = nullptr;
        QLineEdit *txtStartNum = nullptr;
        QLineEdit *txtStopNum = nullptr;
        QLineEdit *txtIncrementNumerically = nullptr;
        QCheckBox *chkIncAlpha = nullptr;
        QLineEdit *txtStartAlpha = nullptr;
        QLineEdit *txtStopAlpha = nullptr;
        QLineEdit *txtIncrementAlphabetically = nullptr;

        QGroupBox *fraCriteria = nullptr;
        QListWidget *lstBeginning = nullptr;
        QPushButton *cmdAddNewBeginning = nullptr;
        QPushButton *cmdRemoveNewBeginning = nullptr;
        QRadioButton *optAnd1 = nullptr;
        QRadioButton *optOr1 = nullptr;
        QListWidget *lstInterior = nullptr;
        QPushButton *cmdAddNewInterior = nullptr;
        QPushButton *cmdRemoveNewInterior = nullptr;
        QRadioButton *optAnd2 = nullptr;
        QRadioButton *optOr2 = nullptr;
        QListWidget *lstPatterns = nullptr;
        QPushButton *cmdAddEnd = nullptr;
        QPushButton *cmdRemoveEnd = nullptr;
        QListWidget *lstEnd = nullptr;
        QPushButton *cmdAddNewEnd = nullptr;
        QPushButton *cmdRemoveNewEnd = nullptr;

        QGroupBox *fraOutput = nullptr;
        QLineEdit *txtTimeOut = nullptr;
        QLabel *lblDefaultExtension = nullptr;
        QLineEdit *txtDefaultExtension = nullptr;
        QCheckBox *chkOverwrite = nullptr;
        QGroupBox *fraSaveLinks = nullptr;
        QCheckBox *chkSaveLinks = nullptr;
        QLabel *lblDirectory1 = nullptr;
        QLineEdit *txtSaveLinks = nullptr;
        QPushButton *cmdBrowse1 = nullptr;
        QGroupBox *fraSaveHREFs = nullptr;
        QCheckBox *chkSaveHREFs = nullptr;
        QRadioButton *optOneHREFPerFile = nullptr;
        QRadioButton *optAllHREFsOneFile = nullptr;
        QLabel *lblDirectory2 = nullptr;
        QLineEdit *txtSaveHREFs = nullptr;
        QPushButton *cmdBrowse2 = nullptr;

        QLabel *lblLocation = nullptr;
        QTabWidget *tabStatusView = nullptr;
        QWidget *pageSourceCode = nullptr;
        QWidget *pageWebBrowser = nullptr;
        QPlainTextEdit *rtfCode = nullptr;
        WebBrowser *Browser = nullptr;
        LogList *lstLog = nullptr;

        WebBrowser *wbHelp = nullptr;
        QPushButton *cmdStop = nullptr;
        QPushButton *cmdGo = nullptr;
        QStatusBar *staMain = nullptr;
        QListWidget *lstCode = nullptr;
    };

    // Building (frmmain_build.cpp).
    void BuildControls();
    void BuildMenus();
    void BuildSetupPage();
    void BuildStatusViewPage();
    void ConnectHandlers();
    void SetInitialValues();

    // Start-up and layout.
    void Form_Load();
    void Form_Resize();
    Prompts &CurrentPrompts();

    // Criteria commands.
    void cmdAddNewBeginning_Click();
    void cmdRemoveNewBeginning_Click();
    void cmdAddNewInterior_Click();
    void cmdRemoveNewInterior_Click();
    void cmdAddNewEnd_Click();
    void cmdRemoveNewEnd_Click();
    void cmdAddEnd_Click();
    void cmdRemoveEnd_Click();
    void AddVariable(QListWidget *list, criteriaedit::List kind);
    void RemoveVariable(QListWidget *list, criteriaedit::List kind);
    void MoveEndVariable(QListWidget *from, QListWidget *to);

    // Interlocks.
    void chkIncNum_Click();
    void chkIncAlpha_Click();
    void chkSaveLinks_Click();
    void chkSaveHREFs_Click();
    void txtTimeOut_Change();
    void txtDefaultExtension_LostFocus();
    void cmdBrowse1_Click();
    void cmdBrowse2_Click();
    void BrowseInto(QLineEdit *field);

    // Menu.
    void mnuFileExit_Click();
    void mnuSupport_Click();
    void mnuHelpHelpBrowser_Click();
    void mnuHelpFeedback_Click();
    void mnuHelpAbout_Click();
    void wbHelp_DownloadComplete();

    // Run.
    void cmdGo_Click();
    void cmdStop_Click();
    void Browser_DownloadComplete();

    QLineEdit *FieldFor(validation::Field field) const;
    bool IsWindowShortcut(const QKeyEvent &event) const;

    Controls ui;
    Transfer &m_inet;
    std::unique_ptr<Prompts> m_dialogPrompts;
    Prompts *m_prompts = nullptr;
    FolderPicker *m_folderPicker = nullptr;
    ShellCommands m_shellCommands;
    std::function<void()> m_exitProgram;

    // The run and what it drives; the run goes first when the window goes.
    DiskFileStore m_files;
    std::unique_ptr<WidgetRunView> m_runView;
    std::unique_ptr<WebPageBrowser> m_pageBrowser;
    std::unique_ptr<PromptsRunPrompt> m_runPrompt;
    std::unique_ptr<ScrapeRun> m_run;
};
