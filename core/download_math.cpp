#include "core/download_math.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/gbk_text.h"
#include "core/path_join.h"

namespace {
constexpr uint32_t kKibThreshold = 1048576;
constexpr uint32_t kSpeedReportIntervalMs = 500;
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

bool ReadStalled(uint32_t asked, uint32_t bytes_per_second, uint32_t waited_ms) {
  if (asked == 0 || bytes_per_second == 0) return false;
  const uint64_t needs = uint64_t{asked} * 1000 / bytes_per_second;
  return waited_ms > needs + kReadStallMs;
}

namespace {

bool ReadNumber64(const std::string& text, size_t* i, uint64_t* value) {
  size_t first = *i;
  uint64_t v = 0;
  while (*i < text.size() && text[*i] >= '0' && text[*i] <= '9') {
    const unsigned digit = static_cast<unsigned>(text[*i] - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
    ++*i;
  }
  *value = v;
  return *i > first;
}

bool ReadNumber(const std::string& text, size_t* i, uint32_t* value) {
  uint64_t v = 0;
  if (!ReadNumber64(text, i, &v) || v > UINT32_MAX) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// "Sun, 06 Nov 1994 08:49:37 GMT" as seconds since 1970.
bool ParseImfFixdate(const std::string& text, int64_t* seconds) {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  char weekday[4] = {}, month[4] = {}, zone[4] = {};
  unsigned day = 0, year = 0, hour = 0, minute = 0, second = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), " %3[A-Za-z], %2u %3[A-Za-z] %4u %2u:%2u:%2u %3[A-Z]%n", weekday,
                  &day, month, &year, &hour, &minute, &second, zone, &used) != 8)
    return false;
  const char* found = std::strstr(kMonths, month);
  if (found == nullptr || std::strlen(month) != 3 || (found - kMonths) % 3 != 0 ||
      std::strcmp(zone, "GMT") != 0 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 60)
    return false;
  for (size_t i = static_cast<size_t>(used); i < text.size(); ++i)
    if (text[i] != ' ') return false;
  const unsigned m = static_cast<unsigned>((found - kMonths) / 3 + 1);
  *seconds = DaysFromCivil(year, m, day) * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

}  // namespace

int64_t RetryAfterMs(const std::string& retry_after, const std::string& date) {
  size_t i = retry_after.find_first_not_of(' ');
  if (i == std::string::npos) return -1;
  if (retry_after[i] >= '0' && retry_after[i] <= '9') {
    // Delta-seconds; a count too long to hold is a very long wait.
    uint64_t seconds = 0;
    for (; i < retry_after.size() && retry_after[i] >= '0' && retry_after[i] <= '9'; ++i)
      seconds = seconds > INT32_MAX ? seconds : seconds * 10 + (retry_after[i] - '0');
    if (retry_after.find_first_not_of(' ', i) != std::string::npos) return -1;
    return static_cast<int64_t>(seconds > INT32_MAX ? INT32_MAX : seconds) * 1000;
  }
  int64_t when = 0, now = 0;
  if (!ParseImfFixdate(retry_after, &when) || !ParseImfFixdate(date, &now)) return -1;
  return when > now ? (when - now) * 1000 : 0;
}

bool FitsDownloadLimit(uint64_t resume_offset, uint64_t answer_length) {
  return resume_offset <= kMaxDownloadBytes && answer_length <= kMaxDownloadBytes - resume_offset;
}

bool ParseContentLength(const std::string& text, uint64_t* length) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  uint64_t v = 0;
  if (!ReadNumber64(text, &i, &v)) return false;
  if (text.find_first_not_of(' ', i) != std::string::npos) return false;
  *length = v;
  return true;
}

std::string RelativeTarget(const std::string& install_folder, const std::string& destination) {
  return JoinPath(install_folder, destination, JoinSeam::kFormatted);
}

bool ParseContentRange(const std::string& text, ContentRange* range) {
  const size_t n = text.size();
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos || !gbk::EqualsIgnoreCase(text.substr(i, 5), "bytes")) return false;
  i += 5;
  if (i >= n || text[i] != ' ') return false;
  i = text.find_first_not_of(' ', i);
  ContentRange r;
  if (!ReadNumber(text, &i, &r.first)) return false;
  if (i >= n || text[i++] != '-') return false;
  if (!ReadNumber(text, &i, &r.last) || r.last < r.first) return false;
  if (i >= n || text[i++] != '/') return false;
  if (i < n && text[i] == '*') {
    ++i;  // the total is unknown
  } else {
    if (!ReadNumber(text, &i, &r.total) || r.last >= r.total) return false;
    r.totalKnown = true;
  }
  if (text.find_first_not_of(' ', i) != std::string::npos) return false;
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
