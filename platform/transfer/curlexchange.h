#pragma once

#include "curljob.h"
#include "tryagain.h"

#include <curl/curl.h>

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace curltransfer {

class Worker;

// One try of a transfer in libcurl's hands, hop by hop along its redirects. Only the worker
// thread touches it; libcurl's callbacks get it as their user data, so it stays at one address
// until it is released.
struct Exchange
{
    Q_DISABLE_COPY_MOVE(Exchange)

    using Clock = std::chrono::steady_clock;

    Exchange(std::shared_ptr<Job> job, Worker *worker, int tries);
    ~Exchange() { Release(nullptr); }

    // Makes the easy handle of this try and hands its first hop to libcurl; the failure when
    // it cannot.
    std::optional<Transfer::Result> Begin(CURLSH *share, CURLM *multi);
    // The answer of the hop sends the transfer on.
    bool Redirected() const;
    // Where: the address, or none and why not.
    std::optional<QByteArray> NextHop(Transfer::Result &refused) const;
    // The hop to `address` goes out, with its own Referer, counters and stall clock; the
    // failure when it cannot.
    std::optional<Transfer::Result> StartHop(CURLM *multi, const QByteArray &address);
    // libcurl lets go of the hop, and its report goes to the caller.
    void EndHop(CURLM *multi);
    // libcurl lets go of the whole try.
    void Release(CURLM *multi);

    const std::shared_ptr<Job> job;
    Worker *const worker;
    const int tries;                           // made before this one
    std::optional<Clock::time_point> deadline; // of the whole transfer, from Job::maxTime
    CURL *easy = nullptr;
    // The lines to the transfer's own origin, and to another one after a redirect.
    curl_slist *headers = nullptr, *headersElsewhere = nullptr;
    bool added = false; // the hop is in the multi handle
    int hops = 0;       // redirects followed
    QByteArray url;     // of this hop
    QByteArray host;    // HostOf the hop, for its turns
    Clock::time_point hopStart;
    qint64 hopBytes = 0; // of the hop's answer, kept or not

    QByteArray body;
    qint64 bytes = 0;    // of the body kept, in memory or in the file
    long httpStatus = 0; // of the last response; 0 when the protocol is not HTTP
    QByteArray reason, location, retryAfter; // of the last response
    qint64 announced = -1;                   // its Content-Length; -1 when none
    bool outOfMemory = false;
    bool tooLarge = false;
    bool paused = false; // waits for the shared bandwidth
    QString writeError;  // set when the file refused the body
    // When a request was last sent or a byte last came in; unset while connecting.
    std::optional<Clock::time_point> lastTraffic;
    bool stalled = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

QString CurlText(CURLcode code);
// What a try that libcurl has ended with `code` amounts to.
Transfer::Result Outcome(Exchange &exchange, CURLcode code);
// What a failed try says about trying again.
TryAgain AgainAfter(const Exchange &exchange, const Transfer::Result &result, CURLcode code);
// The failure of a transfer whose longest time is up.
Transfer::Result OverTime(const Job &job);

} // namespace curltransfer
