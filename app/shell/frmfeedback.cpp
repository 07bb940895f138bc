#include "frmfeedback.h"

#include "makerinfo.h"
#include "shelllogic.h"
#include "toolwindow.h"

#include <QUrl>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

frmFeedback::frmFeedback(QWidget *owner, const QString &feedbackPage)
    : QDialog(owner)
{
    setObjectName(u"frmFeedback"_s);
    setWindowTitle(u"Feedback Form"_s);
    PrepareToolWindow(this, owner, 404, 302);

    Browser = new QWebEngineView(this);
    Browser->setObjectName(u"Browser"_s);
    connect(Browser, &QWebEngineView::loadFinished, this, &frmFeedback::Browser_DocumentComplete);

    Form_Load(feedbackPage.isEmpty() ? MakerInfo::FeedbackPage() : feedbackPage);
}

frmFeedback::~frmFeedback() = default;

void frmFeedback::Form_Load(const QString &feedbackPage)
{
    // Oversized and lifted by two pixels so the page's own frame and scroll bars
    // fall outside the window.
    Browser->setGeometry(0, -2, width() + 20, height() + 20);
    Browser->setUrl(QUrl(ShellLogic::FeedbackAddress(feedbackPage, MakerInfo::AppTitle(),
                                                     MakerInfo::AppVersion())));
}

void frmFeedback::Browser_DocumentComplete(bool)
{
    if (ShellLogic::IsCloseAddress(Browser->url().toString()))
        close();
}
