#include "webpagebrowser.h"

#include "webbrowser.h"

void WebPageBrowser::Navigate(const QString &address)
{
    m_browser.Navigate(address);
}

QString WebPageBrowser::LocationURL() const
{
    return m_browser.LocationURL();
}

void WebPageBrowser::RequestMarkup(std::function<void(const QString &markup)> deliver)
{
    m_browser.requestOuterHtml([deliver = std::move(deliver)](bool ok, const QString &markup) {
        if (ok)
            deliver(markup);
    });
}
