#include "unattendedversion.h"

#include <QtWebEngineCore/qtwebenginecoreglobal.h>

#include <curl/curl.h>

using namespace Qt::StringLiterals;

namespace unattended {

QString VersionText()
{
    const curl_version_info_data *curl = curl_version_info(CURLVERSION_NOW);
    QString text = u"linkhauler-run " LINKHAULER_VERSION u"\n"_s;
    // The Qt the program runs on may be newer than the one it was built with.
    text += u"Qt %1 (built with %2)\n"_s.arg(QLatin1StringView(qVersion()),
                                             QLatin1StringView(QT_VERSION_STR));
    text += u"Qt WebEngine %1, Chromium %2\n"_s.arg(QLatin1StringView(qWebEngineVersion()),
                                                    QLatin1StringView(qWebEngineChromiumVersion()));
    text += u"libcurl "_s + QLatin1StringView(curl->version);
    if (curl->ssl_version)
        text += u" ("_s + QLatin1StringView(curl->ssl_version) + u')';
    return text + u'\n';
}

} // namespace unattended
