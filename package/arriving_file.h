// Reads a package that a download is still writing, front to back and only
// as far as its blocks have passed their digests, waiting for the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/verified_arrival.h"
#include "package/stop_check.h"

class ArrivingFile {
 public:
  enum class End { kNone, kStopped, kAbandoned, kPastEnd };

  ArrivingFile(std::string path, const VerifiedArrival& arrival, StopCheck stop);

  // The next n bytes; false when the stop came, the download ended without
  // the file, or the file ends first (end() tells which).
  bool Read(uint8_t* dst, size_t n);
  End end() const { return end_; }
  // Bytes handed out so far.
  uint64_t position() const { return position_; }

 private:
  bool Refill();
  bool Ends(End why);  // records why the reading ended; false
  bool TryRead(uint64_t at, size_t n, uint64_t generation);

  const std::string path_;
  const VerifiedArrival& arrival_;  // borrowed
  const StopCheck stop_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t have_ = 0;
  size_t at_ = 0;
  uint64_t position_ = 0;
  End end_ = End::kNone;
};
