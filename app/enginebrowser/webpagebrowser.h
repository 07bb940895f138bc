#pragma once

#include "runports.h"
#include "webbrowser.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QtGlobal>

#include <map>
#include <memory>
#include <optional>

class QNetworkCookie;

// The page browser of a run on the embedded browser engine, for every program that runs a
// scrape: the window's Browser, or a browser that is never shown. Pages ahead load out of
// sight in pages of the browser's own profile, their requests leaving in the order asked:
// each once the server has begun to answer the one before, or kStaggerMs after it at the
// latest. One that was requested before a cookie it would carry was added, changed or
// removed is not shown in its turn but loaded anew.
class WebPageBrowser final : public PageBrowser, public PagesOutOfSight
{
public:
    static constexpr int kStaggerMs = 50;

    explicit WebPageBrowser(WebBrowser &browser);
    ~WebPageBrowser() override;
    Q_DISABLE_COPY_MOVE(WebPageBrowser)

    void Navigate(const QString &address) override;
    QString LocationURL() const override;
    void RequestMarkup(std::function<void(const QString &markup)> deliver) override;
    void StopLoading() override;
    TryAgain LastTrouble() const override;

    AheadId LoadAhead(const QString &address) override;
    qint64 AheadLoadingMs(AheadId id) const override;
    Shown ShowAhead(AheadId id) override;
    void CloseAhead(AheadId id) override;
    std::optional<AheadDocument> LoadedAhead(AheadId id) const override;
    quint64 CookieChanges() const override { return m_cookieChanges; }

    // A download's answer hands the cookie to the browser's store, which reports it only
    // later: from now on it counts as changed for the pages ahead it would reach.
    void CookieHandedToStore(const QNetworkCookie &cookie);

private:
    using CookieValue = std::optional<QByteArray>; // none: not set
    // A page ahead, loading out of sight once its request may go.
    struct OutOfSight
    {
        QString address;
        std::unique_ptr<BackgroundPage> page; // none while it waits for its turn to start
        QElapsedTimer started;
        bool changed = false;
        // The cookies it would carry that changed since it started, with their value then.
        QHash<QByteArray, CookieValue> before;
    };

    void StartWaiting();
    void Browser_Answered();
    void CookieChanged(const QNetworkCookie &cookie, bool removed);
    CookieValue Known(const QByteArray &key) const;
    // No cookie it would carry has changed since its request went out.
    bool Fresh(const OutOfSight &ahead) const;

    WebBrowser &m_browser;
    QObject m_context;
    std::map<AheadId, OutOfSight> m_ahead;
    AheadId m_lastId = 0;
    // The page ahead started last: since when, and whether its answer has begun; once shown,
    // the browser's own load reports tell.
    AheadId m_lastStarted = 0;
    bool m_lastAnswered = true;
    bool m_lastShown = false;
    QElapsedTimer m_sinceStart;
    QTimer m_stagger;
    // The store's cookies as it has reported them, by domain, path and name.
    QHash<QByteArray, QByteArray> m_cookies;
    quint64 m_cookieChanges = 0;
};
