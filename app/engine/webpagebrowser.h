#pragma once

#include "runports.h"

#include <QtGlobal>

class WebBrowser;

// The page browser of a run on the embedded browser engine, for every program that runs a
// scrape: the window's Browser, or a browser that is never shown.
class WebPageBrowser final : public PageBrowser
{
public:
    explicit WebPageBrowser(WebBrowser &browser) : m_browser(browser) {}
    Q_DISABLE_COPY_MOVE(WebPageBrowser)

    void Navigate(const QString &address) override;
    QString LocationURL() const override;
    void RequestMarkup(std::function<void(const QString &markup)> deliver) override;

private:
    WebBrowser &m_browser;
};
