#pragma once

// Whether and when a request that failed is tried again: the transfer's downloads, the browser's
// page loads and the run's pages all say it in these words.
enum class TryAgain {
    Never,     // it succeeded, or trying again will not help: a 404, a name that does not resolve
    Later,     // it may pass: a connection refused, dropped or cut off, a time-out, a 5xx
    HostLater, // the server answered 429 or 503: every request to its host waits
};
