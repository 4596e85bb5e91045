// How a download meets failures, as data: the named presets a caller picks,
// the one classification of a failure into fail / retry / restart, and the
// back-off curve between retries.
#pragma once

#include <cstdint>

#include "core/download_failure.h"

// What a call does when an attempt fails in a way a later one may mend.
struct RetryPolicy {
  bool retries;          // false: the first such failure ends the call
  int max_attempts;      // 0: no limit (until the stop request)
  uint32_t budget_ms;    // 0: no limit; else no new attempt after this long
};
constexpr RetryPolicy kTryOnce{false, 1, 0};
constexpr RetryPolicy kUntilStopped{true, 0, 0};
// A file the installation can do without: a few attempts within a minute.
constexpr RetryPolicy kOptionalFile{true, 4, 60000};

// Whether a call under `policy` gives up after `attempts` failed attempts
// that took `elapsed_ms` since it began.
bool GivesUp(const RetryPolicy& policy, int attempts, uint32_t elapsed_ms);

enum class Verdict {
  kFail,     // no later attempt can mend it: the call ends with its text
  kRetry,    // after the back-off, when the call retries
  kRestart,  // at once, with a new request (what is kept on disk stays valid)
};
Verdict Classify(const DownloadFailure& failure);

// The back-off curve: the pause before retry number n (1 = first retry) is
// row n-1, the last row for every later one, shortened by up to
// kBackoffJitterShare of itself so that many clients do not retry in step.
constexpr uint32_t kBackoffStepsMs[] = {1000, 2000, 4000, 8000, 16000, 30000};
constexpr uint32_t kBackoffJitterShare = 5;  // at most a fifth
constexpr uint32_t kBackoffCapMs = kBackoffStepsMs[sizeof kBackoffStepsMs / sizeof *kBackoffStepsMs - 1];

// Pause before retry number `failures` (0 <= jitter < 1).
uint32_t BackoffDelayMs(int failures, double jitter);

// The pause before a retry: the back-off, or longer when the server asked
// for it (`retry_after_ms`, < 0: nothing asked), but never beyond the cap (a
// stop is honoured meanwhile anyway).
uint32_t RetryDelayMs(int failures, double jitter, int64_t retry_after_ms);

// An error status that says "try again later" (408, 429, any 5xx): retried
// with the back-off when the caller retries. Every other 4xx is final.
bool IsRetriableStatus(uint32_t status);

// WinINet's certificate failures (untrusted authority, wrong name, expired,
// revoked, unusable). Retrying cannot mend them, and they must never be
// passed over, so they end a download at once with a message of their own.
bool IsCertificateError(uint32_t error);
