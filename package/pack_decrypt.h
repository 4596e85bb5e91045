// Opens a pack file (8-byte header, then an AES-128-ECB body) and reads its
// directory, decrypting from the file on disk in fixed-size pieces: neither
// the body nor the directory's raw table is ever held whole.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/aes128.h"
#include "core/pack_directory.h"
#include "package/stop_check.h"
#include "system/scoped_handle.h"

// Share of the work done, 0..100, after `done` of `total` bytes. Counted in
// whole KiB when there is at least one.
int PackProgressShare(uint64_t done, uint64_t total);

// Posts a percentage to the window when it differs from the last one posted,
// then pauses so the window can repaint. Without a window nothing is posted.
class PackProgress {
 public:
  PackProgress(HWND window, int start, DWORD pause_ms)
      : window_(window), last_(start), pause_ms_(pause_ms) {}
  void Offer(int percent);
  void PostWithoutPause(int percent);

 private:
  HWND window_;  // borrowed
  int last_;
  DWORD pause_ms_;
};

// Decrypted bytes of a pack body. Each read is served from one window of
// whole blocks, refilled from `raw` (ciphertext of the body from a block
// boundary) and decrypted in place; ECB lets any block be decrypted alone.
// A refill brings in what the read needs, and more only while the reads go
// straight through the body, doubling up to the window: a pack in data
// order is read a window at a time, one whose data lie in any other order
// costs about the bytes its files hold, not a window per file.
class PackBodyReader {
 public:
  static constexpr size_t kDefaultWindow = 1 << 20;
  using RawRead = std::function<bool(uint64_t offset, uint8_t* dst, size_t n)>;

  // `window` is rounded down to whole blocks (at least one).
  PackBodyReader(RawRead raw, uint64_t body_length, const aes128::KeySchedule& key,
                 size_t window = kDefaultWindow);
  // False when the range leaves the body or the source fails.
  bool Read(uint64_t offset, void* dst, size_t n);
  // End of the bytes brought in from the file so far by the current window.
  uint64_t loaded_end() const { return window_at_ + window_have_; }

 private:
  RawRead raw_;
  uint64_t length_;
  aes128::KeySchedule key_;
  size_t window_size_;
  std::unique_ptr<uint8_t[]> window_;
  uint64_t window_at_ = 0;
  size_t window_have_ = 0;
  uint64_t next_ = 0;    // where a read continuing the last one starts
  bool straight_ = true; // every read since the refill continued the one before
};

struct OpenPack {
  ScopedFileHandle file;
  uint64_t body_length = 0;
  uint32_t payload_length = 0;  // the header's first word
  std::unique_ptr<PackBodyReader> reader;
  // Empty when the table is not usable or could not be read whole.
  PackDirectory directory;
};

// Opens the pack and reads its directory, posting 0..25 as the table comes in
// from the file (a window at a time) and then 25. Nothing when the file is missing, unreadable, shorter than its
// header, longer than the format's 4 GiB, or its body is not whole blocks.
// A stop (asked before each record) leaves the directory empty.
std::unique_ptr<OpenPack> DecryptPackFile(const std::string& path, std::string_view password,
                                          HWND window, const StopCheck& stop = StopCheck());

// Reads the directory through the pack's reader, posting 0..25 and then 25
// as above. False (and an empty directory) when no usable table was read.
bool ReadPackDirectory(OpenPack* pack, HWND window, const StopCheck& stop);

// The decryption key schedule of a pack sealed under `password`.
aes128::KeySchedule PackKeySchedule(std::string_view password);
