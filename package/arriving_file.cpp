#include "package/arriving_file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "system/scoped_handle.h"

constexpr size_t kBufferBytes = 1 << 20;
// Stops and the download's end are seen within this.
constexpr unsigned kWaitMs = 100;

ArrivingFile::ArrivingFile(std::string path, const VerifiedArrival& arrival, StopCheck stop)
    : path_(std::move(path)), arrival_(arrival), stop_(std::move(stop)),
      buffer_(new uint8_t[kBufferBytes]) {}

// Opened for each piece and shared every way, so the download may cut,
// replace or delete the file meanwhile; a rewind during the read throws the
// piece away.
bool ArrivingFile::TryRead(uint64_t at, size_t n, uint64_t generation) {
  ScopedFileHandle file(::CreateFileA(path_.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(at);
  DWORD got = 0;
  if (!file || !::SetFilePointerEx(file.get(), pos, nullptr, FILE_BEGIN) ||
      !::ReadFile(file.get(), buffer_.get(), static_cast<DWORD>(n), &got, nullptr) || got != n)
    return false;
  return arrival_.Now().generation == generation;
}

bool ArrivingFile::Ends(End why) {
  end_ = why;
  return false;
}

bool ArrivingFile::Refill() {
  for (;;) {
    if (StopRaised(stop_)) return Ends(End::kStopped);
    const VerifiedArrival::Snapshot s = arrival_.Now();
    // A failed download ends the reading at once, however much is verified:
    // its failure is being reported, and the folder is left as it stands.
    if (s.abandoned) return Ends(End::kAbandoned);
    if (s.end > position_) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kBufferBytes, s.end - position_));
      if (TryRead(position_, n, s.generation)) {
        have_ = n;
        at_ = 0;
        return true;
      }
    }
    // The whole file is said to be there, and nothing more can be read.
    if (s.complete) return Ends(End::kPastEnd);
    arrival_.WaitBeyond(s.end > position_ ? s.end : position_, s.generation, kWaitMs);
  }
}

bool ArrivingFile::Read(uint8_t* dst, size_t n) {
  while (n > 0) {
    if (have_ == 0 && !Refill()) return false;
    const size_t take = std::min(n, have_);
    std::memcpy(dst, buffer_.get() + at_, take);
    at_ += take;
    have_ -= take;
    position_ += take;
    dst += take;
    n -= take;
  }
  return true;
}
