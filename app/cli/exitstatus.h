#pragma once

// The program's exit statuses, for scripts.
namespace exitstatus {

constexpr int kDone = 0;             // the run came to its end and nothing failed
constexpr int kFailuresSkipped = 1;  // the run came to its end past failures it skipped
constexpr int kInvalid = 2;          // the options or the job were refused; nothing was fetched
constexpr int kStoppedByFailure = 3; // a failure ended the run (--on-error stop)
constexpr int kQuotaReached = 4;     // the run ended at its --quota, past failures or not
constexpr int kInterrupted = 130;    // SIGINT stopped the run

// What a shell sees of a program that a signal ended: SIGINT 130, SIGTERM 143, SIGHUP 129.
constexpr int BySignal(int signal)
{
    return 128 + signal;
}

} // namespace exitstatus
