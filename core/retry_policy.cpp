#include "core/retry_policy.h"

#include <algorithm>
#include <cstddef>

bool GivesUp(const RetryPolicy& policy, int attempts, uint32_t elapsed_ms) {
  if (!policy.retries) return true;
  if (policy.max_attempts > 0 && attempts >= policy.max_attempts) return true;
  return policy.budget_ms > 0 && elapsed_ms >= policy.budget_ms;
}

Verdict Classify(const DownloadFailure& f) {
  switch (f.step) {
    case DownloadStep::kSession:
    case DownloadStep::kPartialAnswer:
    case DownloadStep::kRead:
      return Verdict::kRetry;
    case DownloadStep::kConnect:
      // Another attempt meets the same certificate.
      return IsCertificateError(f.win32_error) ? Verdict::kFail : Verdict::kRetry;
    case DownloadStep::kStatus:
      return IsRetriableStatus(f.http_status) ? Verdict::kRetry : Verdict::kFail;
    case DownloadStep::kStaleRange:
    case DownloadStep::kLineSlowed:
      return Verdict::kRestart;
    case DownloadStep::kStopped:
    case DownloadStep::kTempFile:
    case DownloadStep::kTooLarge:
    case DownloadStep::kOpenTarget:
    case DownloadStep::kWrite:
    case DownloadStep::kVerify:
    case DownloadStep::kTimedOut:
      return Verdict::kFail;
  }
  return Verdict::kFail;
}

uint32_t BackoffDelayMs(int failures, double jitter) {
  constexpr size_t kSteps = sizeof kBackoffStepsMs / sizeof *kBackoffStepsMs;
  const size_t row = std::min<size_t>(failures <= 1 ? 0 : failures - 1, kSteps - 1);
  const uint32_t delay = kBackoffStepsMs[row];
  if (jitter < 0) jitter = 0;
  if (jitter >= 1) jitter = 0.999;
  return delay - static_cast<uint32_t>(delay / kBackoffJitterShare * jitter);
}

uint32_t RetryDelayMs(int failures, double jitter, int64_t retry_after_ms) {
  const uint32_t backoff = BackoffDelayMs(failures, jitter);
  if (retry_after_ms <= backoff) return backoff;
  return retry_after_ms < kBackoffCapMs ? static_cast<uint32_t>(retry_after_ms) : kBackoffCapMs;
}

bool IsRetriableStatus(uint32_t status) { return status == 408 || status == 429 || status >= 500; }

bool IsCertificateError(uint32_t error) {
  switch (error) {
    case 12037:  // ERROR_INTERNET_SEC_CERT_DATE_INVALID
    case 12038:  // ERROR_INTERNET_SEC_CERT_CN_INVALID
    case 12044:  // ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED
    case 12045:  // ERROR_INTERNET_INVALID_CA
    case 12055:  // ERROR_INTERNET_SEC_CERT_ERRORS
    case 12056:  // ERROR_INTERNET_SEC_CERT_NO_REV
    case 12057:  // ERROR_INTERNET_SEC_CERT_REV_FAILED (Wine's answer for an unknown authority)
    case 12169:  // ERROR_INTERNET_SEC_INVALID_CERT
    case 12170:  // ERROR_INTERNET_SEC_CERT_REVOKED
    case 12175:  // ERROR_INTERNET_SECURITY_CHANNEL_ERROR
    case 12179:  // ERROR_INTERNET_SEC_CERT_WEAK_SIGNATURE
      return true;
    default:
      return false;
  }
}
