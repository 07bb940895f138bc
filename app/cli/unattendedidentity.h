#pragma once

#include "commandline.h"

#include <QHash>
#include <QNetworkCookie>
#include <QObject>
#include <QWebEngineUrlRequestInterceptor>

#include <functional>
#include <optional>

class QWebEngineCookieStore;
class QWebEngineProfile;

// The page loads' share of --header: the main frame's requests and those of a page to its
// own host carry the lines; a page's requests to other hosts (advertisers, counters) do not.
class HeaderInterceptor final : public QWebEngineUrlRequestInterceptor
{
public:
    explicit HeaderInterceptor(const QList<QByteArray> &headers);
    void interceptRequest(QWebEngineUrlRequestInfo &info) override;

private:
    QList<std::pair<QByteArray, QByteArray>> m_headers;
};

// Who the run is to the sites, as its options say: the user agent and headers of the
// browser's profile, and the cookies of its store, loaded before the first page and saved as
// the run ends. The profile must outlive it.
class RunIdentity final : public QObject
{
public:
    // How long the store may take to confirm the cookies given to it.
    static constexpr int kStoreWaitMs = 30000;

    // Gives the profile the user agent and the headers at once, before the downloads take the
    // profile's identity, and follows the store's cookies from now on.
    RunIdentity(QWebEngineProfile &profile, const RunSettings &settings);
    ~RunIdentity() override;
    Q_DISABLE_COPY_MOVE(RunIdentity)

    // Puts the cookies of --cookies into the store and waits until the store has taken each;
    // the message names a cookie it refused, or says it did not answer in time. Nothing
    // when `stopped` ends the wait first.
    std::optional<QString> LoadCookies(const std::function<bool()> &stopped);
    // Writes the store's cookies into the --save-cookies file, once the store has taken those
    // still on their way to it.
    std::optional<QString> SaveCookies(const std::function<bool()> &stopped);

private:
    // Ends once the store has handled everything given to it so far; false when it did not
    // within kStoreWaitMs or `stopped` came first.
    bool Settle(const std::function<bool()> &stopped);

    QWebEngineProfile &m_profile;
    QWebEngineCookieStore *m_store;
    const RunSettings &m_settings;
    HeaderInterceptor m_interceptor;
    // The store's cookies by domain, path and name, as its notices tell them.
    QHash<QByteArray, QNetworkCookie> m_cookies;
    int m_settled = 0;      // the marks given to the store so far
    int m_lastMarkSeen = 0; // the last one it confirmed
};
