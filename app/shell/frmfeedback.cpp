#include "frmfeedback.h"

#include "makerinfo.h"
#include "shelllogic.h"
#include "toolwindow.h"

#include "webbrowser.h"

using namespace Qt::StringLiterals;

frmFeedback::frmFeedback(QWidget *owner, const QString &feedbackPage) : QDialog(owner)
{
    setObjectName(u"frmFeedback"_s);
    setWindowTitle(u"Feedback Form"_s);
    PrepareToolWindow(this, owner, 404, 302);

    Browser = new WebBrowser(this);
    Browser->setObjectName(u"Browser"_s);
    connect(Browser, &WebBrowser::DocumentComplete, this, &frmFeedback::Browser_DocumentComplete);

    Form_Load(feedbackPage.isEmpty() ? MakerInfo::FeedbackPage() : feedbackPage);
}

frmFeedback::~frmFeedback() = default;

void frmFeedback::Form_Load(const QString &feedbackPage)
{
    // Oversized and lifted by two pixels so the page's own frame and scroll bars
    // fall outside the window.
    Browser->setGeometry(0, -2, width() + 20, height() + 20);
    Browser->Navigate(
        ShellLogic::FeedbackAddress(feedbackPage, MakerInfo::AppTitle(), MakerInfo::AppVersion()));
}

void frmFeedback::Browser_DocumentComplete(const QString &)
{
    if (ShellLogic::IsCloseAddress(Browser->LocationURL()))
        close();
}
