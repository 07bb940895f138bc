#include "webbrowser.h"

#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

WebBrowser::WebBrowser(QWidget *parent) : QWidget(parent), m_view(new QWebEngineView(this))
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

namespace {

bool SameAddress(const QUrl &a, const QUrl &b)
{
    const auto normal = [](const QUrl &url) {
        return url.adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash);
    };
    return a == b || normal(a) == normal(b);
}

} // namespace

void WebBrowser::Navigate(const QString &address)
{
    // Addresses come as typed; tolerant parsing matches what a user expects of a
    // browser's address line.
    m_requested = QUrl(address, QUrl::TolerantMode);
    m_navigating = true;
    m_view->load(m_requested);
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
    m_view->page()->runJavaScript(script,
                                  [self, callback = std::move(callback)](const QVariant &result) {
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

void WebBrowser::view_urlChanged(const QUrl &url)
{
    // A same-document navigation (an anchor, a history entry pushed by a script)
    // changes the address without a load; it still finishes a navigation. But until the
    // navigation Navigate asked for has finished, the page being left may still move its
    // own address by script: then only a move to the requested address finishes it.
    if (m_loading || (m_navigating && !SameAddress(url, m_requested)))
        return;
    view_loadFinished(true);
}

void WebBrowser::view_loadFinished(bool ok)
{
    m_loading = false;
    m_lastLoadOk = ok;
    // A failure elsewhere is the page being left (its load cut short); the requested load
    // ends on success, wherever redirects took it, or failing at its own address.
    if (ok || SameAddress(m_view->url(), m_requested))
        m_navigating = false;
    emit DownloadComplete();
    if (ok)
        emit DocumentComplete(LocationURL());
}
