// The arithmetic and small decisions of a file download, kept free of I/O so
// they can be checked from tables: percentage, speed report, Retry-After,
// the target path, and whether an answer may be appended to the local file.
#pragma once

#include <cstdint>
#include <string>

// Percent done: total = answer length + resume offset, done = bytes written +
// resume offset. Above 1 MiB of answer length both are counted in KiB (the
// test is on the answer length alone). Returns -1 when the total is 0 (no
// length known and nothing resumed): no percentage can be given then.
int DownloadPercent(uint32_t answer_length, uint32_t resume_offset, uint32_t bytes_written);

// Speed since the last report, in bytes per second, when a report is due:
// the first report of an attempt (nothing reported yet) or more than 500 ms
// after the previous one. No report when no time has passed.
bool SpeedReportDue(uint32_t received, uint32_t received_at_last_report, uint32_t now,
                    uint32_t last_report_tick, long* bytes_per_second);

// The line's speed as a download sizes its reads by it: the lower of the
// last two windows, and 0 (unknown) before two have passed. A window ends
// after kWindowMs, or sooner once kWindowBytes have come, so a fast line is
// known after its first MiB instead of after many small reads. A burst the
// server sent at once (a rate-limited server sends its first second's worth
// at the start) fills one window, not two, and must not pass for the line's
// speed: a read sized by it would block for seconds on a slow line. A burst
// that fills two windows by their bytes comes from a server sending at least
// 1 MiB a second, which fills the largest read within about a second.
// (WinINet's count of waiting bytes stops at its own small buffer, so it
// cannot tell a burst from a fast line.)
class ReadSizer {
 public:
  static constexpr uint32_t kWindowMs = 25;
  static constexpr uint32_t kWindowBytes = 512 * 1024;
  // After each read of one byte or more; `received` counts all of them.
  void Add(uint32_t received, uint32_t now_ms);
  uint32_t bytes_per_second() const;

 private:
  int windows_ = 0;  // window starts seen
  uint32_t from_bytes_ = 0;
  uint32_t from_tick_ = 0;
  uint32_t previous_ = 0;
  uint32_t last_ = 0;
};

// Whether a read that has waited `waited_ms` is given up: it asked for
// `asked` bytes (0: it still waits for the first byte to arrive, which says
// nothing of bytes held back), sized by a line of `bytes_per_second`, and has
// waited kReadStallMs longer than that speed needs for them. The line has
// slowed under it then; a read that no speed sized (0) waited for nothing.
constexpr uint32_t kReadStallMs = 1000;
bool ReadStalled(uint32_t asked, uint32_t bytes_per_second, uint32_t waited_ms);

// The wait a Retry-After value asks for, in ms: delta-seconds, or an
// IMF-fixdate measured against the answer's own Date (the server's clock, so
// a wrong local clock does not matter). -1 when absent or not understood, 0
// for a date already past.
int64_t RetryAfterMs(const std::string& retry_after, const std::string& date);

// The largest file a download can keep: the resume record stores its sizes
// as signed 32-bit numbers, and the package's pack is measured in 32 bits.
constexpr uint64_t kMaxDownloadBytes = 0x7FFFFFFF;
// Whether a resource of `resume_offset` bytes on disk plus an answer of
// `answer_length` bytes still fits kMaxDownloadBytes.
bool FitsDownloadLimit(uint64_t resume_offset, uint64_t answer_length);

// A Content-Length value: digits only (spaces around allowed), up to 2^64-1.
bool ParseContentLength(const std::string& text, uint64_t* length);

// A destination below the install folder: JoinPath with JoinSeam::kFormatted
// (one leading backslash removed, then "%s\%s").
std::string RelativeTarget(const std::string& install_folder, const std::string& destination);

// A Content-Range value such as "bytes 100-199/200" or "bytes 100-199/*".
struct ContentRange {
  uint32_t first = 0;
  uint32_t last = 0;
  uint32_t total = 0;
  bool totalKnown = false;
};
bool ParseContentRange(const std::string& text, ContentRange* range);

// What to do with an answer's body.
enum class BodyPlan {
  kAppend,              // the answer continues the local file at the resume offset
  kFromScratch,         // the answer is the whole resource: rewrite the file
  kRestartWithoutRange  // an unusable partial answer: forget the record and ask again
};
// `appending`: the request asked for the bytes from `resume_offset` and the
// answer's validators match the record. Only a 206 whose Content-Range starts
// exactly at the offset and runs to the end is appended; any other 206 that
// does not hold the whole resource cannot be used.
BodyPlan PlanBody(bool appending, uint32_t resume_offset, uint32_t status,
                  const std::string& content_range);
