#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class QWebEngineView;

// An embedded web browser with the few operations the program needs. Every finished
// load raises DownloadComplete, whatever its outcome; lastLoadOk() tells which. A
// navigation inside the same document (an anchor) counts as a finished load, except
// while a Navigate is under way: then only one to the address asked for does.
class WebBrowser final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebBrowser)

public:
    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

    void Navigate(const QString &address);

    // The address of the document currently shown, as text.
    QString LocationURL() const;

    // Outcome of the most recent finished load; false before any load has finished.
    bool lastLoadOk() const { return m_lastLoadOk; }

    // Answers asynchronously with the root element's outer markup. ok is false when
    // there is no document or no root element, or the browser went away first.
    using OuterHtmlCallback = std::function<void(bool ok, const QString &markup)>;
    void requestOuterHtml(OuterHtmlCallback callback);

    QWebEngineView *view() const { return m_view; }

signals:
    void DownloadComplete();
    void DocumentComplete(const QString &url);

private:
    void view_loadStarted();
    void view_urlChanged(const QUrl &url);
    void view_loadFinished(bool ok);

    QWebEngineView *m_view = nullptr;
    bool m_lastLoadOk = false;
    bool m_loading = false;
    // The address of the last Navigate, and whether that navigation is yet to finish.
    QUrl m_requested;
    bool m_navigating = false;
};
