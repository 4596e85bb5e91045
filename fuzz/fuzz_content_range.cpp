// A server's answer headers as a download meets them: the status, the
// Content-Range value and the validators, against a resume record. Checks
// that only an answer continuing the file at its end is appended and that
// the resume request never carries more header lines than it should.
#include <cstring>
#include <string>

#include "core/download_math.h"
#include "core/retry_policy.h"
#include "core/header_text.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 12) return 0;
  uint32_t offset, status_pick, length;
  std::memcpy(&offset, data, 4);
  std::memcpy(&status_pick, data + 4, 4);
  std::memcpy(&length, data + 8, 4);
  const uint32_t status = (status_pick & 1) ? 206 : 200 + status_pick % 400;
  auto [range_text, rest] = SplitAtNul(data + 12, size - 12);
  auto [etag, date] = SplitAtNul(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());
  const std::string range_value = ExactCopy(range_text);

  ContentRange range;
  if (ParseContentRange(range_value, &range)) {
    if (range.last < range.first) __builtin_trap();
    if (range.totalKnown && range.last >= range.total) __builtin_trap();
  }
  const BodyPlan plan = PlanBody(status_pick & 2, offset, status, range_value);
  if (plan == BodyPlan::kAppend) {
    ContentRange r;
    if (status != 206 || !(status_pick & 2) || !ParseContentRange(range_value, &r) ||
        r.first != offset || (r.totalKnown && r.last + 1 != r.total))
      __builtin_trap();
  }
  const int percent = DownloadPercent(length, offset, status_pick);
  if (percent < -1) __builtin_trap();
  long speed = 0;
  (void)SpeedReportDue(length, status_pick, offset, length ^ offset, &speed);
  const uint32_t delay = BackoffDelayMs(static_cast<int>(status_pick), (offset % 1000) / 1000.0);
  if (delay > 30000) __builtin_trap();

  const std::string clean_etag = RemoveQuotes(ExactCopy(etag));
  if (clean_etag.find('"') != std::string::npos) __builtin_trap();
  const std::string headers = ResumeRequestHeaders(static_cast<int>(offset >> 1),
                                                   static_cast<int>(length >> 1), clean_etag,
                                                   ExactCopy(date));
  size_t lines = 0;
  for (size_t i = 0; i < headers.size(); ++i) {
    if (headers[i] == '\n' && (i == 0 || headers[i - 1] != '\r')) __builtin_trap();
    if (headers[i] == '\r' && (i + 1 >= headers.size() || headers[i + 1] != '\n')) __builtin_trap();
    if (headers[i] == '\n') ++lines;
    if (headers[i] == '\0') __builtin_trap();
  }
  if (lines != 1 && lines != 3) __builtin_trap();
  (void)ValidatorsDiffer(clean_etag, ExactCopy(date), ExactCopy(date), clean_etag);
  return 0;
}
