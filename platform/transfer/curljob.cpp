#include "curljob.h"

#include "curltransfer.h"

#include <QEventLoop>

#include <curl/curl.h>

#include <algorithm>

namespace curltransfer {

void InitCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Transfer::Result Failure(int code, const QString &description)
{
    Transfer::Result result;
    result.code = code;
    result.description = description;
    return result;
}

Transfer::Result Cancelled()
{
    return Failure(CurlTransfer::CancelledCode, QStringLiteral("Cancelled"));
}

std::optional<std::chrono::milliseconds> RetryAfter(const QByteArray &value, qint64 nowMs)
{
    const QByteArray text = value.trimmed();
    bool number = !text.isEmpty();
    for (const char c : text)
        number = number && c >= '0' && c <= '9';
    if (number) {
        // Beyond a day is as good as never; the cap keeps the sum in range.
        const qint64 seconds = text.size() > 6 ? 86400 : std::min<qint64>(text.toLongLong(), 86400);
        return std::chrono::seconds(seconds);
    }
    // Any of the three forms of an HTTP date.
    const time_t date = curl_getdate(text.constData(), nullptr);
    if (date < 0)
        return std::nullopt;
    const qint64 ms = std::clamp<qint64>(qint64(date) * 1000 - nowMs, 0, 86400 * 1000LL);
    return std::chrono::milliseconds(ms);
}

void Job::Finish(Transfer::Result result, std::atomic<int> &running)
{
    std::lock_guard lock(m_mutex);
    m_result = std::move(result);
    m_done = true;
    --running;
    if (m_waiter)
        QMetaObject::invokeMethod(m_waiter, &QEventLoop::quit, Qt::QueuedConnection);
}

bool Job::WaitWith(QEventLoop *loop)
{
    std::lock_guard lock(m_mutex);
    if (m_done)
        return false;
    m_waiter = loop;
    return true;
}

std::optional<Transfer::Result> Job::Take()
{
    std::lock_guard lock(m_mutex);
    m_waiter = nullptr;
    if (!m_done)
        return std::nullopt;
    return std::move(m_result);
}

} // namespace curltransfer
