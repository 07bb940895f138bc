// Building the main window: controls at their designed places, menus, connections and
// the initial values of the job.
#include "frmmain.h"

#include "addresses.h"
#include "loglist.h"
#include "twips.h"
#include "webbrowser.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>

#include <tuple>
#include <utility>

namespace {

// The design measures the pages of a tab control from the control's top edge, tab
// strip included; a Qt page starts below its strip, so tops on a page drop this much.
constexpr int kTabStripTwips = 300;

template<typename W>
W *Make(QWidget *parent, const QString &name)
{
    auto *widget = new W(parent);
    widget->setObjectName(name);
    return widget;
}

template<typename W>
W *Make(QWidget *parent, const QString &name, const QString &caption)
{
    auto *widget = new W(caption, parent);
    widget->setObjectName(name);
    return widget;
}

// The places were measured for an 8-point sans serif of narrow, Helvetica-like widths at
// 96 dots per inch; wider default fonts would clip nearly every caption.
QFont DesignFont(QFont font)
{
    QStringList families{QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                         QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")};
    families.append(font.families());
    font.setFamilies(families);
    font.setPixelSize(11);
    font.setStretch(90);
    return font;
}

void Place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twips::Rect(left, top, width, height));
}

// A control on a tab page, placed by the design's coordinates of the tab control.
void PlaceOnPage(QWidget *widget, int left, int top, int width, int height)
{
    Place(widget, left, top - kTabStripTwips, width, height);
}

QLabel *Label(QWidget *parent, const QString &name, const QString &caption, int l, int t, int w,
              int h)
{
    auto *label = Make<QLabel>(parent, name, caption);
    Place(label, l, t, w, h);
    return label;
}

QLineEdit *TextField(QWidget *parent, const QString &name, int l, int t, int w, int h)
{
    auto *edit = Make<QLineEdit>(parent, name);
    Place(edit, l, t, w, h);
    return edit;
}

QPushButton *Button(QWidget *parent, const QString &name, const QString &caption, int l, int t,
                    int w, int h)
{
    auto *button = Make<QPushButton>(parent, name, caption);
    button->setAutoDefault(false);
    Place(button, l, t, w, h);
    return button;
}

QListWidget *List(QWidget *parent, const QString &name, int l, int t, int w, int h)
{
    auto *list = Make<QListWidget>(parent, name);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    Place(list, l, t, w, h);
    return list;
}

// A frame of beginning or interior variables: its caption, its list, "+" and "-".
std::tuple<QListWidget *, QPushButton *, QPushButton *> VariableFrame(QWidget *parent,
                                                                      const QString &kind,
                                                                      const QString &word, int left)
{
    auto *frame = Make<QGroupBox>(parent, QStringLiteral("fra") + kind,
                                  QStringLiteral("Match the ") + word
                                      + QStringLiteral(" of the link with:"));
    Place(frame, left, 240, 2775, 1815);
    return {
        List(frame, QStringLiteral("lst") + kind, 120, 240, 2295, 1425),
        Button(frame, QStringLiteral("cmdAddNew") + kind, QStringLiteral("+"), 2400, 240, 255, 255),
        Button(frame, QStringLiteral("cmdRemoveNew") + kind, QStringLiteral("-"), 2400, 510, 255,
               255)};
}

// Each And/Or pair sits in a borderless box of its own: a separate exclusive group.
std::pair<QRadioButton *, QRadioButton *> AndOrBox(QWidget *parent, int number, int left)
{
    const QString n = QString::number(number);
    auto *box = Make<QWidget>(parent, QStringLiteral("fraAndOr") + n);
    Place(box, left, 840, 855, 735);
    auto *optAnd = Make<QRadioButton>(box, QStringLiteral("optAnd") + n, QStringLiteral("And"));
    Place(optAnd, 120, 0, 615, 255);
    auto *optOr = Make<QRadioButton>(box, QStringLiteral("optOr") + n, QStringLiteral("Or"));
    Place(optOr, 120, 360, 615, 255);
    return {optAnd, optOr};
}

// A button whose solid colour must show whatever the style.
void SolidBackground(QPushButton *button, const QString &colour)
{
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black;"
                                         " border: 1px solid #404040; }"
                                         " QPushButton:pressed { border: 2px inset #404040; }"
                                         " QPushButton:disabled { color: #606060; }")
                              .arg(colour));
}

} // namespace

void frmMain::BuildControls()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Linkhauler v1.0 BETA"));
    setFont(DesignFont(font()));

    // The design's client area holds the status bar and the Go/Stop buttons over it,
    // so the status bar is a control of the client area, not QMainWindow's own.
    ui.client = Make<QWidget>(this, QStringLiteral("client"));
    setCentralWidget(ui.client);

    BuildMenus();

    ui.tabMain = Make<QTabWidget>(ui.client, QStringLiteral("tabMain"));
    ui.tabMain->move(0, 0);
    BuildSetupPage();
    BuildStatusViewPage();

    ui.staMain = Make<QStatusBar>(ui.client, QStringLiteral("staMain"));
    ui.staMain->setSizeGripEnabled(false);
    ui.staMain->setFixedHeight(twips::ToPixels(345));

    ui.wbHelp = Make<WebBrowser>(ui.client, QStringLiteral("wbHelp"));
    ui.wbHelp->resize(twips::ToPixels(mainlayout::kHelpWidth), ui.wbHelp->height());
    ui.wbHelp->hide();

    ui.cmdStop = Make<QPushButton>(ui.client, QStringLiteral("cmdStop"), QStringLiteral("Stop"));
    ui.cmdStop->resize(twips::ToPixels(615), twips::ToPixels(285));
    SolidBackground(ui.cmdStop, QStringLiteral("rgb(255, 0, 0)"));
    ui.cmdGo = Make<QPushButton>(ui.client, QStringLiteral("cmdGo"), QStringLiteral("Go!"));
    ui.cmdGo->resize(twips::ToPixels(435), twips::ToPixels(285));
    SolidBackground(ui.cmdGo, QStringLiteral("rgb(0, 255, 0)"));

    ui.lstCode = Make<QListWidget>(ui.client, QStringLiteral("lstCode"));
    ui.lstCode->hide();

    // Go and Stop sit over the status bar and over the help pane.
    ui.wbHelp->raise();
    ui.cmdStop->raise();
    ui.cmdGo->raise();

    // Client area 14070 x 8580 twips, centred.
    const QSize client(twips::ToPixels(14070), twips::ToPixels(8580));
    resize(client.width(), client.height() + menuBar()->sizeHint().height());
    ui.client->resize(client);
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmMain::BuildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("mnuMain"));

    ui.mnuFile = bar->addMenu(QStringLiteral("&File"));
    ui.mnuFile->setObjectName(QStringLiteral("mnuFile"));
    ui.mnuFileExit = ui.mnuFile->addAction(QStringLiteral("Exit"));
    ui.mnuFileExit->setObjectName(QStringLiteral("mnuFileExit"));
    ui.mnuFileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));

    ui.mnuSupport = bar->addAction(QStringLiteral("&Support FREE Software!"));
    ui.mnuSupport->setObjectName(QStringLiteral("mnuSupport"));

    ui.mnuHelp = bar->addMenu(QStringLiteral("&Help"));
    ui.mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    ui.mnuHelpHelpBrowser = ui.mnuHelp->addAction(QStringLiteral("Help Browser"));
    ui.mnuHelpHelpBrowser->setObjectName(QStringLiteral("mnuHelpHelpBrowser"));
    ui.mnuHelpHelpBrowser->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    ui.mnuHelpSep1 = ui.mnuHelp->addSeparator();
    ui.mnuHelpSep1->setObjectName(QStringLiteral("mnuHelpSep1"));
    ui.mnuHelpFeedback = ui.mnuHelp->addAction(QStringLiteral("Feedback"));
    ui.mnuHelpFeedback->setObjectName(QStringLiteral("mnuHelpFeedback"));
    ui.mnuHelpFeedback->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    ui.mnuHelpSep2 = ui.mnuHelp->addSeparator();
    ui.mnuHelpSep2->setObjectName(QStringLiteral("mnuHelpSep2"));
    ui.mnuHelpAbout = ui.mnuHelp->addAction(QStringLiteral("About"));
    ui.mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
    ui.mnuHelpAbout->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));

    // The shortcuts act wherever the focus is in this window.
    for (QAction *action :
         {ui.mnuFileExit, ui.mnuHelpHelpBrowser, ui.mnuHelpFeedback, ui.mnuHelpAbout})
        action->setShortcutContext(Qt::WindowShortcut);
}

void frmMain::BuildSetupPage()
{
    ui.pageSetup = Make<QWidget>(nullptr, QStringLiteral("pageSetup"));
    ui.tabMain->addTab(ui.pageSetup, QStringLiteral("Setup"));
    QWidget *page = ui.pageSetup;

    // Target.
    ui.fraTarget = Make<QGroupBox>(page, QStringLiteral("fraTarget"), QStringLiteral("Target"));
    PlaceOnPage(ui.fraTarget, 120, 360, 10755, 1935);
    QWidget *f = ui.fraTarget;
    Label(f, QStringLiteral("lblURL"), QStringLiteral("URL:"), 120, 285, 375, 195);
    ui.txtAddress = TextField(f, QStringLiteral("txtAddress"), 600, 240, 9975, 285);
    ui.chkIncNum = Make<QCheckBox>(f, QStringLiteral("chkIncNum"),
                                   QStringLiteral("Increment numerically (replaces '^N')"));
    Place(ui.chkIncNum, 600, 600, 2895, 255);
    Label(f, QStringLiteral("lblStartNum"), QStringLiteral("Start at:"), 840, 885, 555, 195);
    ui.txtStartNum = TextField(f, QStringLiteral("txtStartNum"), 1485, 840, 735, 285);
    Label(f, QStringLiteral("lblStopNum"), QStringLiteral("Stop at:"), 840, 1222, 555, 195);
    ui.txtStopNum = TextField(f, QStringLiteral("txtStopNum"), 1485, 1177, 735, 285);
    Label(f, QStringLiteral("lblIncrementNum"), QStringLiteral("Increment:"), 645, 1560, 750, 195);
    ui.txtIncrementNumerically = TextField(f, QStringLiteral("txtIncrementNumerically"), 1485, 1515,
                                           735, 285);
    ui.chkIncAlpha = Make<QCheckBox>(f, QStringLiteral("chkIncAlpha"),
                                     QStringLiteral("Increment alphabetically (replaces '^L')"));
    Place(ui.chkIncAlpha, 4320, 600, 3135, 255);
    Label(f, QStringLiteral("lblStartAlpha"), QStringLiteral("Start at:"), 4515, 885, 555, 195);
    ui.txtStartAlpha = TextField(f, QStringLiteral("txtStartAlpha"), 5160, 840, 735, 285);
    Label(f, QStringLiteral("lblStopAlpha"), QStringLiteral("Stop at:"), 4515, 1215, 555, 195);
    ui.txtStopAlpha = TextField(f, QStringLiteral("txtStopAlpha"), 5160, 1177, 735, 285);
    Label(f, QStringLiteral("lblIncrementAlpha"), QStringLiteral("Increment:"), 4320, 1560, 750,
          195);
    ui.txtIncrementAlphabetically = TextField(f, QStringLiteral("txtIncrementAlphabetically"), 5160,
                                              1515, 735, 285);

    // Criteria.
    ui.fraCriteria = Make<QGroupBox>(page, QStringLiteral("fraCriteria"),
                                     QStringLiteral("Criteria"));
    PlaceOnPage(ui.fraCriteria, 120, 2400, 10755, 2175);
    QWidget *c = ui.fraCriteria;

    std::tie(ui.lstBeginning, ui.cmdAddNewBeginning, ui.cmdRemoveNewBeginning) = VariableFrame(
        c, QStringLiteral("Beginning"), QStringLiteral("beginning"), 120);
    std::tie(ui.optAnd1, ui.optOr1) = AndOrBox(c, 1, 2880);
    std::tie(ui.lstInterior, ui.cmdAddNewInterior, ui.cmdRemoveNewInterior) = VariableFrame(
        c, QStringLiteral("Interior"), QStringLiteral("interior"), 3720);
    std::tie(ui.optAnd2, ui.optOr2) = AndOrBox(c, 2, 6480);

    auto *fraEnd = Make<QGroupBox>(c, QStringLiteral("fraEnd"),
                                   QStringLiteral("Match the end of the link with:"));
    Place(fraEnd, 7320, 240, 3255, 1815);
    ui.lstPatterns = List(fraEnd, QStringLiteral("lstPatterns"), 120, 240, 855, 1425);
    ui.cmdAddEnd = Button(fraEnd, QStringLiteral("cmdAddEnd"), QStringLiteral(">"), 960, 240, 255,
                          255);
    ui.cmdRemoveEnd = Button(fraEnd, QStringLiteral("cmdRemoveEnd"), QStringLiteral("<"), 960, 510,
                             255, 255);
    ui.lstEnd = List(fraEnd, QStringLiteral("lstEnd"), 1200, 240, 1695, 1425);
    ui.cmdAddNewEnd = Button(fraEnd, QStringLiteral("cmdAddNewEnd"), QStringLiteral("+"), 2880, 240,
                             255, 255);
    ui.cmdRemoveNewEnd = Button(fraEnd, QStringLiteral("cmdRemoveNewEnd"), QStringLiteral("-"),
                                2880, 510, 255, 255);

    // Output.
    ui.fraOutput = Make<QGroupBox>(page, QStringLiteral("fraOutput"), QStringLiteral("Output"));
    PlaceOnPage(ui.fraOutput, 120, 4680, 10755, 2655);
    QWidget *o = ui.fraOutput;
    Label(o, QStringLiteral("lblTimeOut"), QStringLiteral("Timeout:"), 120, 285, 615, 195);
    ui.txtTimeOut = TextField(o, QStringLiteral("txtTimeOut"), 840, 240, 855, 285);
    Label(o, QStringLiteral("lblSeconds"), QStringLiteral("seconds"), 1740, 285, 600, 195);
    ui.lblDefaultExtension = Label(o, QStringLiteral("lblDefaultExtension"),
                                   QStringLiteral("Default Extension:"), 2520, 285, 1290, 195);
    ui.txtDefaultExtension = TextField(o, QStringLiteral("txtDefaultExtension"), 3900, 240, 735,
                                       285);
    ui.chkOverwrite = Make<QCheckBox>(o, QStringLiteral("chkOverwrite"),
                                      QStringLiteral("Overwrite existing files"));
    Place(ui.chkOverwrite, 4740, 270, 1935, 255);

    ui.fraSaveLinks = Make<QGroupBox>(o, QStringLiteral("fraSaveLinks"));
    Place(ui.fraSaveLinks, 120, 600, 10515, 645);
    ui.lblDirectory1 = Label(ui.fraSaveLinks, QStringLiteral("lblDirectory1"),
                             QStringLiteral("Directory:"), 120, 285, 675, 195);
    ui.txtSaveLinks = TextField(ui.fraSaveLinks, QStringLiteral("txtSaveLinks"), 825, 240, 8235,
                                285);
    ui.cmdBrowse1 = Button(ui.fraSaveLinks, QStringLiteral("cmdBrowse1"), QStringLiteral("Browse"),
                           9180, 240, 1215, 285);
    // The tick box is the caption of the frame below it: it lies on the frame's top edge.
    ui.chkSaveLinks = Make<QCheckBox>(o, QStringLiteral("chkSaveLinks"),
                                      QStringLiteral("Save links to disk"));
    Place(ui.chkSaveLinks, 240, 600, 1575, 195);
    ui.chkSaveLinks->setAutoFillBackground(true);

    ui.fraSaveHREFs = Make<QGroupBox>(o, QStringLiteral("fraSaveHREFs"));
    Place(ui.fraSaveHREFs, 120, 1320, 10515, 1215);
    ui.optOneHREFPerFile = Make<QRadioButton>(ui.fraSaveHREFs, QStringLiteral("optOneHREFPerFile"),
                                              QStringLiteral("Save each HREF to a file"));
    Place(ui.optOneHREFPerFile, 120, 270, 2115, 195);
    ui.optAllHREFsOneFile = Make<QRadioButton>(ui.fraSaveHREFs,
                                               QStringLiteral("optAllHREFsOneFile"),
                                               QStringLiteral("Save all HREFs to one file"));
    Place(ui.optAllHREFsOneFile, 120, 510, 2175, 225);
    ui.lblDirectory2 = Label(ui.fraSaveHREFs, QStringLiteral("lblDirectory2"),
                             QStringLiteral("Directory:"), 120, 825, 675, 195);
    ui.txtSaveHREFs = TextField(ui.fraSaveHREFs, QStringLiteral("txtSaveHREFs"), 840, 780, 8235,
                                285);
    ui.cmdBrowse2 = Button(ui.fraSaveHREFs, QStringLiteral("cmdBrowse2"), QStringLiteral("Browse"),
                           9180, 780, 1215, 285);
    ui.chkSaveHREFs = Make<QCheckBox>(o, QStringLiteral("chkSaveHREFs"),
                                      QStringLiteral("Save HREF's to disk"));
    Place(ui.chkSaveHREFs, 240, 1320, 1815, 195);
    ui.chkSaveHREFs->setAutoFillBackground(true);
}

void frmMain::BuildStatusViewPage()
{
    ui.pageStatusView = Make<QWidget>(nullptr, QStringLiteral("pageStatusView"));
    ui.tabMain->addTab(ui.pageStatusView, QStringLiteral("Status/View"));
    QWidget *page = ui.pageStatusView;

    auto *location = Make<QLabel>(page, QStringLiteral("lblLocationCaption"),
                                  QStringLiteral("Location:"));
    PlaceOnPage(location, 120, 450, 660, 195);
    ui.lblLocation = Make<QLabel>(page, QStringLiteral("lblLocation"));
    ui.lblLocation->setTextFormat(Qt::PlainText); // an address is never markup
    ui.lblLocation->setFrameShape(QFrame::Box);
    ui.lblLocation->setFrameShadow(QFrame::Plain);
    ui.lblLocation->setLineWidth(1);
    PlaceOnPage(ui.lblLocation, 900, 420, 0, 255);

    ui.tabStatusView = Make<QTabWidget>(page, QStringLiteral("tabStatusView"));
    PlaceOnPage(ui.tabStatusView, 120, mainlayout::kTabStatusViewTop, 0, 0);
    ui.pageSourceCode = Make<QWidget>(nullptr, QStringLiteral("pageSourceCode"));
    ui.tabStatusView->addTab(ui.pageSourceCode, QStringLiteral("Source Code"));
    ui.pageWebBrowser = Make<QWidget>(nullptr, QStringLiteral("pageWebBrowser"));
    ui.tabStatusView->addTab(ui.pageWebBrowser, QStringLiteral("Web Browser"));

    ui.rtfCode = Make<QPlainTextEdit>(ui.pageSourceCode, QStringLiteral("rtfCode"));
    ui.rtfCode->setReadOnly(true);
    ui.rtfCode->setLineWrapMode(QPlainTextEdit::NoWrap);
    PlaceOnPage(ui.rtfCode, 120, 390, 0, 0);

    ui.Browser = Make<WebBrowser>(ui.pageWebBrowser, QStringLiteral("Browser"));
    PlaceOnPage(ui.Browser, 120, 390, 0, 0);

    ui.lstLog = Make<LogList>(page, QStringLiteral("lstLog"));
    PlaceOnPage(ui.lstLog, 120, 0, 0, mainlayout::kLstLogHeight);
}

void frmMain::SetInitialValues()
{
    ui.txtAddress->setText(addresses::kSampleAddress);
    ui.chkIncNum->setChecked(false);
    for (QLineEdit *edit : {ui.txtStartNum, ui.txtStopNum, ui.txtIncrementNumerically}) {
        edit->setText(QStringLiteral("1"));
        edit->setEnabled(false);
    }
    ui.chkIncAlpha->setChecked(false);
    ui.txtStartAlpha->setText(QStringLiteral("a"));
    ui.txtStopAlpha->setText(QStringLiteral("a"));
    ui.txtIncrementAlphabetically->setText(QStringLiteral("1"));
    for (QLineEdit *edit : {ui.txtStartAlpha, ui.txtStopAlpha, ui.txtIncrementAlphabetically})
        edit->setEnabled(false);

    ui.optOr1->setChecked(true);
    ui.optOr2->setChecked(true);
    ui.lstPatterns->addItems({QStringLiteral("gif"), QStringLiteral("jpg"), QStringLiteral("png"),
                              QStringLiteral("bmp"), QStringLiteral("js"), QStringLiteral("css"),
                              QStringLiteral("zip"), QStringLiteral("rar"), QStringLiteral("mpg"),
                              QStringLiteral("mp3"), QStringLiteral("mov"), QStringLiteral("exe")});

    ui.txtTimeOut->setText(QStringLiteral("60"));
    ui.txtDefaultExtension->clear();
    ui.chkOverwrite->setChecked(false);
    ui.chkOverwrite->setEnabled(false);
    ui.chkSaveLinks->setChecked(false);
    ui.lblDirectory1->setEnabled(false);
    ui.txtSaveLinks->setEnabled(false);
    ui.cmdBrowse1->setEnabled(false);
    ui.chkSaveHREFs->setChecked(false);
    for (QWidget *w :
         std::initializer_list<QWidget *>{ui.optOneHREFPerFile, ui.optAllHREFsOneFile,
                                          ui.lblDirectory2, ui.txtSaveHREFs, ui.cmdBrowse2})
        w->setEnabled(false);

    ui.cmdStop->setEnabled(false);
    ui.staMain->showMessage(QStringLiteral("Ready"));
}

void frmMain::ConnectHandlers()
{
    connect(ui.cmdAddNewBeginning, &QPushButton::clicked, this, &frmMain::cmdAddNewBeginning_Click);
    connect(ui.cmdRemoveNewBeginning, &QPushButton::clicked, this,
            &frmMain::cmdRemoveNewBeginning_Click);
    connect(ui.cmdAddNewInterior, &QPushButton::clicked, this, &frmMain::cmdAddNewInterior_Click);
    connect(ui.cmdRemoveNewInterior, &QPushButton::clicked, this,
            &frmMain::cmdRemoveNewInterior_Click);
    connect(ui.cmdAddNewEnd, &QPushButton::clicked, this, &frmMain::cmdAddNewEnd_Click);
    connect(ui.cmdRemoveNewEnd, &QPushButton::clicked, this, &frmMain::cmdRemoveNewEnd_Click);
    connect(ui.cmdAddEnd, &QPushButton::clicked, this, &frmMain::cmdAddEnd_Click);
    connect(ui.cmdRemoveEnd, &QPushButton::clicked, this, &frmMain::cmdRemoveEnd_Click);

    connect(ui.chkIncNum, &QCheckBox::clicked, this, &frmMain::chkIncNum_Click);
    connect(ui.chkIncAlpha, &QCheckBox::clicked, this, &frmMain::chkIncAlpha_Click);
    connect(ui.chkSaveLinks, &QCheckBox::clicked, this, &frmMain::chkSaveLinks_Click);
    connect(ui.chkSaveHREFs, &QCheckBox::clicked, this, &frmMain::chkSaveHREFs_Click);
    connect(ui.txtTimeOut, &QLineEdit::textChanged, this, &frmMain::txtTimeOut_Change);
    connect(ui.cmdBrowse1, &QPushButton::clicked, this, &frmMain::cmdBrowse1_Click);
    connect(ui.cmdBrowse2, &QPushButton::clicked, this, &frmMain::cmdBrowse2_Click);

    connect(ui.mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(ui.mnuSupport, &QAction::triggered, this, &frmMain::mnuSupport_Click);
    connect(ui.mnuHelpHelpBrowser, &QAction::triggered, this, &frmMain::mnuHelpHelpBrowser_Click);
    connect(ui.mnuHelpFeedback, &QAction::triggered, this, &frmMain::mnuHelpFeedback_Click);
    connect(ui.mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
    connect(ui.wbHelp, &WebBrowser::DownloadComplete, this, &frmMain::wbHelp_DownloadComplete);

    connect(ui.cmdGo, &QPushButton::clicked, this, &frmMain::cmdGo_Click);
    connect(ui.cmdStop, &QPushButton::clicked, this, &frmMain::cmdStop_Click);
    connect(ui.Browser, &WebBrowser::DownloadComplete, this, &frmMain::Browser_DownloadComplete);
}
