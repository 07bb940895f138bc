#include "curlexchange.h"

#include "bodyfile.h"
#include "curlworker.h"
#include "requestrules.h"

#include <QUrl>

#include <algorithm>
#include <new>

namespace curltransfer {

namespace {

constexpr const char *AllowedProtocols = "http,https,ftp";
constexpr int kMaxRedirects = 10;

bool IsAllowedScheme(const QString &scheme)
{
    return scheme == u"http" || scheme == u"https" || scheme == u"ftp";
}

// An error page is never content, nor the page of a redirect: read to keep the connection
// usable, and dropped.
bool DropsBody(const Exchange &exchange)
{
    return exchange.httpStatus >= 400 || exchange.Redirected();
}

bool IsHeader(const QByteArray &line, const QByteArray &lowerCaseName)
{
    return line.size() > lowerCaseName.size()
        && line.left(lowerCaseName.size()).toLower() == lowerCaseName;
}

// The lines sent besides the identity; without an Authorization, for another origin than the
// transfer's own: as with curl, a redirect does not carry it elsewhere.
curl_slist *HeaderList(const Job::Request &request, bool authorization)
{
    curl_slist *list = nullptr;
    const bool ownLanguage = std::any_of(
        request.headers.begin(), request.headers.end(),
        [](const QByteArray &line) { return IsHeader(line, "accept-language:"); });
    if (!request.acceptLanguage.isEmpty() && !ownLanguage)
        list = curl_slist_append(list, ("Accept-Language: " + request.acceptLanguage).constData());
    for (const QByteArray &line : request.headers) {
        if (!authorization && IsHeader(line, "authorization:"))
            continue;
        // libcurl would take "Name:" with no value as "do not send Name".
        const qsizetype colon = line.indexOf(':');
        const QByteArray value = line.mid(colon + 1).trimmed();
        list = curl_slist_append(list,
                                 (value.isEmpty() ? line.left(colon) + ';' : line).constData());
    }
    return list;
}

size_t OnHeader(char *data, size_t size, size_t count, void *user)
{
    auto *exchange = static_cast<Exchange *>(user);
    const size_t length = size * count;
    exchange->lastTraffic = Exchange::Clock::now();
    const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
    const auto &cookieReceived = exchange->job->request.cookieReceived;
    if (IsHeader(line, "retry-after:"))
        exchange->retryAfter = line.mid(12).trimmed();
    if (IsHeader(line, "location:"))
        exchange->location = line.mid(9).trimmed();
    if (IsHeader(line, "content-length:")) {
        bool number = false;
        const qint64 announced = line.mid(15).trimmed().toLongLong(&number);
        exchange->announced = number && announced >= 0 ? announced : -1;
    }
    if (IsHeader(line, "set-cookie:") && cookieReceived) {
        const char *address = nullptr;
        curl_easy_getinfo(exchange->easy, CURLINFO_EFFECTIVE_URL, &address);
        cookieReceived(line.mid(11).trimmed(), QString::fromUtf8(address ? address : ""));
    }
    // A body announced larger than allowed is refused before a byte of it is written.
    const qint64 most = exchange->job->request.maxBytes;
    if (line.isEmpty() && most > 0 && exchange->httpStatus >= 200 && exchange->httpStatus < 300
        && exchange->announced > most) {
        exchange->tooLarge = true;
        return 0;
    }
    // Every response (an interim one, one that asks for authentication) starts with its
    // status line; the last one counts.
    if (line.startsWith("HTTP/")) {
        const QList<QByteArray> parts = line.split(' ');
        exchange->httpStatus = parts.size() > 1 ? parts.at(1).toLong() : 0;
        const qsizetype reasonStart = parts.size() > 2 ? parts.at(0).size() + parts.at(1).size() + 2
                                                       : -1;
        exchange->reason = reasonStart > 0 ? line.mid(reasonStart).trimmed() : QByteArray();
        exchange->retryAfter.clear();
        exchange->location.clear();
        exchange->announced = -1;
        exchange->body.clear();
        const int out = exchange->job->Out();
        if (out >= 0 && exchange->bytes > 0 && !bodyfile::Empty(out, exchange->writeError))
            return 0;
        exchange->bytes = 0;
    }
    return length;
}

// Writes what is allowed of the data; false when the transfer ends here.
bool Keep(Exchange &exchange, const char *data, qint64 length)
{
    const Job &job = *exchange.job;
    const qint64 most = job.request.maxBytes;
    if (most > 0 && exchange.bytes == 0) {
        // Where no header said it (an ftp download), libcurl may know the size all the same.
        curl_off_t announced = -1;
        if (curl_easy_getinfo(exchange.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced)
                == CURLE_OK
            && announced > most) {
            exchange.tooLarge = true;
            return false;
        }
    }
    // A body that grows past the limit without saying so ends at it.
    const bool over = most > 0 && exchange.bytes + length > most;
    if (over)
        length = most - exchange.bytes;
    if (job.Out() >= 0) {
        if (!bodyfile::Write(job.Out(), data, length, exchange.writeError))
            return false;
    } else {
        try {
            exchange.body.append(data, qsizetype(length));
        } catch (const std::bad_alloc &) {
            exchange.outOfMemory = true;
            return false;
        }
    }
    exchange.bytes += length;
    exchange.tooLarge = over;
    return !over;
}

size_t OnData(char *data, size_t size, size_t count, void *user)
{
    auto *exchange = static_cast<Exchange *>(user);
    const size_t length = size * count;
    const auto now = Exchange::Clock::now();
    // libcurl hands the same bytes again once the transfer goes on.
    if (!exchange->worker->TakeBandwidth(qint64(length), now)) {
        exchange->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    exchange->lastTraffic = now;
    exchange->hopBytes += qint64(length);
    if (DropsBody(*exchange))
        return length;
    return Keep(*exchange, data, qint64(length)) ? length : 0;
}

// Connected (or reusing a connection), the request about to go out: the stall clock starts.
// The host's next turn counts from here too: connecting may have taken a while.
int OnRequest(void *user, char *, char *, int, int)
{
    auto *exchange = static_cast<Exchange *>(user);
    exchange->lastTraffic = Exchange::Clock::now();
    exchange->worker->RequestSent(exchange->host);
    return CURL_PREREQFUNC_OK;
}

// libcurl's own low-speed check averages over seconds and so ends a download that brings a
// byte a second; a stall is a time-out without any byte at all. Connecting has its own limit,
// and a transfer waiting for the shared bandwidth is not stalled.
int OnProgress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *exchange = static_cast<Exchange *>(user);
    const auto now = Exchange::Clock::now();
    if (exchange->paused)
        exchange->lastTraffic = now;
    if (exchange->lastTraffic
        && now - *exchange->lastTraffic >= std::chrono::seconds(exchange->job->request.timeout)) {
        exchange->stalled = true;
        return 1;
    }
    return 0;
}

} // namespace

QString CurlText(CURLcode code)
{
    return QString::fromUtf8(curl_easy_strerror(code));
}

Exchange::Exchange(std::shared_ptr<Job> job, Worker *worker, int tries)
    : job(std::move(job))
    , worker(worker)
    , tries(tries)
{
}

std::optional<Transfer::Result> Exchange::Begin(CURLSH *share, CURLM *multi)
{
    const Job::Request &request = job->request;
    // A further try starts from an empty file.
    if (job->Out() >= 0 && !bodyfile::Empty(job->Out(), writeError))
        return Outcome(*this, CURLE_OK);
    easy = curl_easy_init();
    if (!easy)
        return Failure(CURLE_FAILED_INIT, CurlText(CURLE_FAILED_INIT));
    headers = HeaderList(request, true);
    headersElsewhere = HeaderList(request, false);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Redirects are followed here, hop by hop, each with its own Referer.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, AllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_SHARE, share);
    // An empty cookie file reads nothing but switches the cookie engine on.
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.constData());
    // The time-out bounds connecting and any stall, never a download that keeps moving.
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, request.timeout);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &OnRequest);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    // Under a low cap, smaller reads keep each transfer's overdraft small.
    if (const qint64 rate = worker->Rate(); rate > 0)
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE,
                         long(std::clamp<qint64>(rate / 8, 1024, CURL_MAX_WRITE_SIZE)));
    return StartHop(multi, request.url);
}

bool Exchange::Redirected() const
{
    return httpStatus >= 300 && httpStatus < 400 && httpStatus != 304 && !location.isEmpty();
}

std::optional<QByteArray> Exchange::NextHop(Transfer::Result &refused) const
{
    if (hops >= kMaxRedirects) {
        refused = Failure(
            CURLE_TOO_MANY_REDIRECTS,
            CurlText(CURLE_TOO_MANY_REDIRECTS)
                + QStringLiteral(": Maximum (%1) redirects followed").arg(kMaxRedirects));
        return std::nullopt;
    }
    // Resolved against the address that answered; an address elsewhere has its own user
    // information or none, so a password never goes on to another host.
    const QUrl next = QUrl::fromEncoded(url).resolved(
        QUrl(QString::fromUtf8(location), QUrl::TolerantMode));
    if (!IsAllowedScheme(next.scheme())) {
        refused = Failure(
            CURLE_UNSUPPORTED_PROTOCOL,
            CurlText(CURLE_UNSUPPORTED_PROTOCOL)
                + QStringLiteral(": Protocol \"%1\" not supported or disabled in libcurl")
                      .arg(next.scheme()));
        return std::nullopt;
    }
    if (!next.isValid() || next.host().isEmpty()) {
        refused = Failure(CURLE_URL_MALFORMAT, CurlText(CURLE_URL_MALFORMAT));
        return std::nullopt;
    }
    return next.toEncoded();
}

std::optional<Transfer::Result> Exchange::StartHop(CURLM *multi, const QByteArray &address)
{
    url = address;
    host = HostOf(QString::fromLatin1(address));
    httpStatus = 0;
    reason.clear();
    location.clear();
    retryAfter.clear();
    announced = -1;
    hopBytes = 0;
    lastTraffic.reset();
    errorBuffer[0] = '\0';
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER,
                     SameOrigin(QUrl::fromEncoded(job->request.url), QUrl::fromEncoded(url))
                         ? headers
                         : headersElsewhere);
    const QByteArray referrer = ReferrerFor(job->request.page, QUrl::fromEncoded(url));
    curl_easy_setopt(easy, CURLOPT_REFERER, referrer.isEmpty() ? nullptr : referrer.constData());
    hopStart = Clock::now();
    if (CURLMcode code = curl_multi_add_handle(multi, easy); code != CURLM_OK)
        return Failure(CURLE_FAILED_INIT, QString::fromUtf8(curl_multi_strerror(code)));
    added = true;
    return std::nullopt;
}

void Exchange::EndHop(CURLM *multi)
{
    if (!added)
        return;
    if (multi)
        curl_multi_remove_handle(multi, easy);
    added = false;
    if (const auto &reported = job->request.reported) {
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now()
                                                                                - hopStart);
        reported(CurlTransfer::RequestReport{QString::fromLatin1(url), int(httpStatus), hopBytes,
                                             took.count()});
    }
}

void Exchange::Release(CURLM *multi)
{
    EndHop(multi);
    if (easy) {
        curl_easy_cleanup(easy);
        easy = nullptr;
    }
    curl_slist_free_all(headers);
    headers = nullptr;
    curl_slist_free_all(headersElsewhere);
    headersElsewhere = nullptr;
}

Transfer::Result Outcome(Exchange &exchange, CURLcode code)
{
    if (!exchange.writeError.isEmpty()) {
        Transfer::Result result = Failure(0, exchange.writeError);
        result.fileError = true;
        result.size = exchange.bytes;
        return result;
    }
    if (exchange.outOfMemory)
        return Failure(CURLE_OUT_OF_MEMORY, CurlText(CURLE_OUT_OF_MEMORY));
    if (exchange.tooLarge) {
        Transfer::Result result = bodyfile::TooLarge(exchange.job->request.maxBytes,
                                                     exchange.job->request.maxBytesText);
        result.size = exchange.bytes;
        return result;
    }
    if (exchange.stalled)
        return Failure(
            CURLE_OPERATION_TIMEDOUT,
            CurlText(CURLE_OPERATION_TIMEDOUT)
                + QStringLiteral(
                      ": Operation too slow. Less than 1 bytes/sec transferred the last %1 seconds")
                      .arg(exchange.job->request.timeout));
    if (code != CURLE_OK) {
        QString description = CurlText(code);
        const QString detail = QString::fromUtf8(exchange.errorBuffer).trimmed();
        if (!detail.isEmpty() && detail != description)
            description += QStringLiteral(": ") + detail;
        return Failure(int(code), description);
    }
    if (exchange.httpStatus >= 400) {
        const int status = int(exchange.httpStatus);
        return Failure(status,
                       exchange.reason.isEmpty() ? QStringLiteral("HTTP error %1").arg(status)
                                                 : QStringLiteral("HTTP %1 %2")
                                                       .arg(status)
                                                       .arg(QString::fromLatin1(exchange.reason)));
    }
    Transfer::Result result;
    result.ok = true;
    result.content = std::move(exchange.body);
    result.size = exchange.bytes;
    return result;
}

// Never, this transfer later, or every request to its host later (the server says it is
// overloaded or asked too often).
TryAgain AgainAfter(const Exchange &exchange, const Transfer::Result &result, CURLcode code)
{
    if (result.ok || result.fileError || exchange.outOfMemory || exchange.tooLarge)
        return TryAgain::Never;
    if (exchange.stalled)
        return TryAgain::Later;
    if (code != CURLE_OK) {
        // A connection refused, dropped or cut off, a time-out: the same request may get through.
        switch (code) {
        case CURLE_COULDNT_CONNECT:
        case CURLE_HTTP2:
        case CURLE_PARTIAL_FILE:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_HTTP2_STREAM:
            return TryAgain::Later;
        default:
            return TryAgain::Never;
        }
    }
    if (exchange.httpStatus == 429 || exchange.httpStatus == 503)
        return TryAgain::HostLater;
    return exchange.httpStatus >= 500 ? TryAgain::Later : TryAgain::Never;
}

Transfer::Result OverTime(const Job &job)
{
    return Failure(CURLE_OPERATION_TIMEDOUT,
                   CurlText(CURLE_OPERATION_TIMEDOUT)
                       + QStringLiteral(": Operation took longer than %1 seconds")
                             .arg(QString::number(double(job.request.maxTime.count()) / 1000)));
}

} // namespace curltransfer
