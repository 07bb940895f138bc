#pragma once

#include <QDialog>

class WebBrowser;

// The maker's web feedback form in a small tool window; the form closes the
// window by sending its browser to an address ending in "Close".
class frmFeedback final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmFeedback)
public:
    // The page is the feedback form's address without its query; tests point it
    // at a local page.
    explicit frmFeedback(QWidget *owner = nullptr, const QString &feedbackPage = {});
    ~frmFeedback() override;

private:
    void Form_Load(const QString &feedbackPage);
    void Browser_DocumentComplete(const QString &url);

    WebBrowser *Browser = nullptr;
};
