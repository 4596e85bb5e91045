// The result of an internal operation that can fail: nothing on success, or
// one failure record saying which step failed, with the Win32 error and the
// HTTP status as they were at that moment (and what the message will name).
// The text a user reads is made from the record once, at the edge; the fixed
// entry points (0/1/-1, the error text buffer) are thin adapters over it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

template <class Step>
struct Failure {
  Step step{};
  uint32_t win32_error = 0;
  uint32_t http_status = 0;
  // What the message names besides the URL: the server's own text, a path,
  // a number of bytes.
  std::string detail;
};

template <class Step>
class [[nodiscard]] Result {
 public:
  Result() = default;  // success
  Result(Failure<Step> failure) : failure_(std::move(failure)) {}  // NOLINT: a failure is a result

  bool ok() const { return !failure_.has_value(); }
  const Failure<Step>& failure() const { return *failure_; }

 private:
  std::optional<Failure<Step>> failure_;
};
