#include "core/download_math.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {
constexpr uint32_t kKibThreshold = 1048576;
constexpr uint32_t kSpeedReportIntervalMs = 500;
constexpr uint32_t kFirstBackoffMs = 1000;
constexpr uint32_t kMaxBackoffMs = 30000;
}  // namespace

int DownloadPercent(uint32_t answer_length, uint32_t resume_offset, uint32_t bytes_written) {
  // 64-bit sums and products: a large resume offset with a short answer must
  // not wrap around.
  uint64_t total = static_cast<uint64_t>(answer_length) + resume_offset;
  uint64_t done = static_cast<uint64_t>(bytes_written) + resume_offset;
  if (answer_length > kKibThreshold) {
    total >>= 10;
    done >>= 10;
  }
  if (total == 0) return -1;
  uint64_t percent = done * 100 / total;
  return percent > 100 ? 100 : static_cast<int>(percent);
}

bool SpeedReportDue(uint32_t received, uint32_t received_at_last_report, uint32_t now,
                    uint32_t last_report_tick, long* bytes_per_second) {
  const uint32_t elapsed = now - last_report_tick;
  if (received_at_last_report != 0 && elapsed <= kSpeedReportIntervalMs) return false;
  if (elapsed == 0) return false;
  double speed = static_cast<double>(received - received_at_last_report) / (elapsed / 1000.0);
  // The window message carries a signed 32-bit value, whatever size long has.
  if (speed >= static_cast<double>(INT32_MAX)) speed = static_cast<double>(INT32_MAX);
  *bytes_per_second = static_cast<long>(speed);
  return true;
}

void ReadSizer::Add(uint32_t received, uint32_t now_ms) {
  const uint32_t elapsed = now_ms - from_tick_;
  if (windows_ > 0 && elapsed < kWindowMs && received - from_bytes_ < kWindowBytes) return;
  if (windows_ > 0) {
    previous_ = last_;
    // Within one tick: at least what a whole millisecond would give.
    const uint64_t rate = uint64_t{received - from_bytes_} * 1000 / (elapsed ? elapsed : 1);
    last_ = static_cast<uint32_t>(rate < UINT32_MAX ? rate : UINT32_MAX);
  }
  if (windows_ < 3) ++windows_;
  from_bytes_ = received;
  from_tick_ = now_ms;
}

uint32_t ReadSizer::bytes_per_second() const {
  return windows_ > 2 ? (previous_ < last_ ? previous_ : last_) : 0;
}

uint32_t BackoffDelayMs(int failures, double jitter) {
  uint32_t delay = kFirstBackoffMs;
  for (int i = 1; i < failures && delay < kMaxBackoffMs; ++i) delay *= 2;
  if (delay > kMaxBackoffMs) delay = kMaxBackoffMs;
  if (jitter < 0) jitter = 0;
  if (jitter >= 1) jitter = 0.999;
  return delay - static_cast<uint32_t>(delay / 5 * jitter);
}

std::string RelativeTarget(const std::string& install_folder, const std::string& destination) {
  std::string name = destination;
  if (!name.empty() && name[0] == '\\') name.erase(0, 1);
  return install_folder + "\\" + name;
}

namespace {

bool ReadNumber(const std::string& text, size_t* i, uint32_t* value) {
  size_t first = *i;
  uint64_t v = 0;
  while (*i < text.size() && text[*i] >= '0' && text[*i] <= '9') {
    v = v * 10 + static_cast<unsigned>(text[*i] - '0');
    if (v > UINT32_MAX) return false;
    ++*i;
  }
  *value = static_cast<uint32_t>(v);
  return *i > first;
}

}  // namespace

bool ParseContentRange(const std::string& text, ContentRange* range) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  static const char kUnit[] = "bytes";
  for (const char* u = kUnit; *u; ++u, ++i) {
    if (i >= n || (text[i] | 0x20) != *u) return false;
  }
  if (i >= n || text[i] != ' ') return false;
  while (i < n && text[i] == ' ') ++i;
  ContentRange r;
  if (!ReadNumber(text, &i, &r.first)) return false;
  if (i >= n || text[i++] != '-') return false;
  if (!ReadNumber(text, &i, &r.last) || r.last < r.first) return false;
  if (i >= n || text[i++] != '/') return false;
  if (i < n && text[i] == '*') {
    r.totalKnown = false;
    ++i;
  } else {
    if (!ReadNumber(text, &i, &r.total) || r.last >= r.total) return false;
    r.totalKnown = true;
  }
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return false;
  *range = r;
  return true;
}

BodyPlan PlanBody(bool appending, uint32_t resume_offset, uint32_t status,
                  const std::string& content_range) {
  if (status != 206) return BodyPlan::kFromScratch;
  ContentRange r;
  if (!ParseContentRange(content_range, &r)) return BodyPlan::kRestartWithoutRange;
  // A part that stops before the end of the resource would leave a file that
  // looks complete but is not.
  if (r.totalKnown && r.last + 1 != r.total) return BodyPlan::kRestartWithoutRange;
  if (appending && r.first == resume_offset) return BodyPlan::kAppend;
  if (r.first == 0) return BodyPlan::kFromScratch;
  return BodyPlan::kRestartWithoutRange;
}

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
