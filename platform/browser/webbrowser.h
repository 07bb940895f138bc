#pragma once

#include "transfer/tryagain.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QWebEngineLoadingInfo;
class QWebEnginePage;
class QWebEngineView;
class WebBrowser;

// A page of a browser's profile that loads out of sight, so that the browser can later show
// it instead of loading its address again. Its load ends as the browser's own would: on
// success wherever redirects took it, or on failure at the address asked for; at that moment
// it reads the root element's markup, as a caller of RequestOuterHtml on DownloadComplete
// would. Deleting it ends its load and closes the page, or hands it back to its browser for
// the next page to load in.
class BackgroundPage final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BackgroundPage)

public:
    ~BackgroundPage() override;

    QUrl Requested() const { return m_requested; }
    // Where the page is now, after any redirect.
    QUrl Location() const;
    bool LoadEnded() const { return m_ended; }
    // The load has ended and its markup is in.
    bool MarkupIn() const { return m_ended && m_markupRead; }
    // Once ready: whether the load succeeded, and the markup (null without a document).
    bool LoadOk() const { return m_ok; }
    // Whether and when loading it again may help.
    TryAgain Trouble() const { return m_trouble; }
    QString Markup() const { return m_markup; }

signals:
    // The server has begun to answer: the page's document changed, or its load ended.
    void Answered();
    void Ready();

private:
    friend class WebBrowser;
    BackgroundPage(WebBrowser &browser, QWebEnginePage *page, const QUrl &address);
    void page_loadStarted();
    void page_urlChanged();
    void page_loadFinished(bool ok);
    void page_loadingChanged(const QWebEngineLoadingInfo &info);
    void Answer();

    QPointer<WebBrowser> m_browser;
    QPointer<QWebEnginePage> m_page; // a child of the browser, and this page's until shown
    bool m_shown = false;
    QUrl m_requested;
    bool m_loading = false;
    bool m_answered = false;
    bool m_ended = false;
    bool m_ok = false;
    TryAgain m_trouble = TryAgain::Never;
    bool m_markupRead = false;
    QString m_markup; // null when there was no document
};

// An embedded web browser with the few operations the program needs. Every finished
// load raises DownloadComplete, whatever its outcome; LastLoadOk() tells which. A
// navigation inside the same document (an anchor) counts as a finished load, except
// while a Navigate is under way: then only one to the address asked for does.
class WebBrowser final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebBrowser)

public:
    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

    // While a load is under way, the address loads in another page that takes its place.
    void Navigate(const QString &address);

    // The address of the document currently shown, as text.
    QString LocationURL() const;

    // Outcome of the most recent finished load; false before any load has finished.
    bool LastLoadOk() const { return m_lastLoadOk; }
    // Whether and when loading it again may help. Known once the handlers of its
    // DownloadComplete have returned: the engine tells the reason just after the end.
    TryAgain LastLoadTrouble() const { return m_lastTrouble; }

    // Answers asynchronously with the root element's outer markup. ok is false when
    // there is no document or no root element, or the browser went away first.
    using OuterHtmlCallback = std::function<void(bool ok, const QString &markup)>;
    void RequestOuterHtml(OuterHtmlCallback callback);

    // A page of this browser's profile that starts loading the address out of sight now.
    std::unique_ptr<BackgroundPage> LoadOutOfSight(const QString &address);
    // Shows the page in place of the current one, as if Navigate(its address) were called
    // now. The end of its load raises DownloadComplete (on a later turn of the event loop
    // when it ended before), and the RequestOuterHtml made on that DownloadComplete answers
    // the markup the page read as its load ended.
    void Show(std::unique_ptr<BackgroundPage> page);
    // Pages loading out of sight that have not been shown or deleted yet.
    int PagesOutOfSight() const;
    // At most this many pages are out of sight at once, loading or kept for the next to load
    // in; the caller starts no more than that.
    void SetPagesOutOfSight(int limit);
    // Ends the load of the page shown, if one is under way.
    void Stop();

    QWebEngineView *View() const { return m_view; }

signals:
    void DownloadComplete();
    void DocumentComplete(const QString &url);

private:
    friend class BackgroundPage;
    void view_loadStarted();
    void view_urlChanged(const QUrl &url);
    void view_loadFinished(bool ok);
    void Finished(bool ok, TryAgain trouble);
    // Follows the reasons the loads of the page shown fail for.
    void WatchTrouble();
    void shown_Ready();
    void Recycle(QWebEnginePage *page);

    QWebEngineView *m_view = nullptr;
    bool m_lastLoadOk = false;
    TryAgain m_lastTrouble = TryAgain::Never;
    QMetaObject::Connection m_troubleWatch;
    bool m_loading = false;
    // The address of the last Navigate, and whether that navigation is yet to finish.
    QUrl m_requested;
    bool m_navigating = false;
    // While a page loaded out of sight takes the view's place.
    bool m_swapping = false;
    // The page shown last, while the end of its load is yet to be reported.
    std::unique_ptr<BackgroundPage> m_shown;
    // The markup the next RequestOuterHtml answers instead of asking the page.
    std::optional<QString> m_preread;
    QList<QPointer<BackgroundPage>> m_outOfSight;
    // Pages out of use, kept a while for the next pages to load out of sight in: a fresh page
    // would start a renderer and a view of its own.
    static constexpr int kSpareMs = 1000;
    QList<QPointer<QWebEnginePage>> m_spares;
    int m_limit = 0;
};
