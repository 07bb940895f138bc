#include "curljob.h"

#include "curltransfer.h"

#include <QEventLoop>

#include <curl/curl.h>

namespace curltransfer {

void initCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Transfer::Result failure(int code, const QString &description)
{
    Transfer::Result result;
    result.code = code;
    result.description = description;
    return result;
}

Transfer::Result cancelled()
{
    return failure(CurlTransfer::CancelledCode, QStringLiteral("Cancelled"));
}

void Job::finish(Transfer::Result result, std::atomic<int> &running)
{
    std::lock_guard lock(m_mutex);
    m_result = std::move(result);
    m_done = true;
    --running;
    if (m_waiter)
        QMetaObject::invokeMethod(m_waiter, &QEventLoop::quit, Qt::QueuedConnection);
}

bool Job::waitWith(QEventLoop *loop)
{
    std::lock_guard lock(m_mutex);
    if (m_done)
        return false;
    m_waiter = loop;
    return true;
}

std::optional<Transfer::Result> Job::take()
{
    std::lock_guard lock(m_mutex);
    m_waiter = nullptr;
    if (!m_done)
        return std::nullopt;
    return std::move(m_result);
}

} // namespace curltransfer
