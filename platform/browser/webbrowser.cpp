#include "webbrowser.h"

#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

WebBrowser::WebBrowser(QWidget *parent)
    : QWidget(parent)
    , m_view(new QWebEngineView(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);
    connect(m_view, &QWebEngineView::loadStarted, this, &WebBrowser::view_loadStarted);
    connect(m_view, &QWebEngineView::loadFinished, this, &WebBrowser::view_loadFinished);
    connect(m_view, &QWebEngineView::urlChanged, this, &WebBrowser::view_urlChanged);
}

WebBrowser::~WebBrowser() = default;

void WebBrowser::Navigate(const QString &address)
{
    // Addresses come as typed; tolerant parsing matches what a user expects of a
    // browser's address line.
    m_view->load(QUrl(address, QUrl::TolerantMode));
}

QString WebBrowser::LocationURL() const
{
    return m_view->url().toString();
}

void WebBrowser::requestOuterHtml(OuterHtmlCallback callback)
{
    static const QString script = QStringLiteral(
        "(document && document.documentElement) ? document.documentElement.outerHTML : null");
    QPointer<WebBrowser> self(this);
    m_view->page()->runJavaScript(script, [self, callback = std::move(callback)](const QVariant &result) {
        if (!callback)
            return;
        if (!self || result.typeId() != QMetaType::QString) {
            callback(false, QString());
            return;
        }
        callback(true, result.toString());
    });
}

void WebBrowser::view_loadStarted()
{
    m_loading = true;
}

void WebBrowser::view_urlChanged()
{
    // A same-document navigation (an anchor, a history entry pushed by a script)
    // changes the address without a load; it still finishes a navigation.
    if (!m_loading)
        view_loadFinished(true);
}

void WebBrowser::view_loadFinished(bool ok)
{
    m_loading = false;
    m_lastLoadOk = ok;
    emit DownloadComplete();
    if (ok)
        emit DocumentComplete(LocationURL());
}
