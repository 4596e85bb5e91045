// Writing packs: the entry table and file data, encrypted with AES-128-ECB
// under the key derived from the password, after the 8-byte header. Used by
// the package builder and by tests that need packs of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/aes128.h"

struct PackInput {
  std::string name;  // full entry name, top-level folder first, "\" separators
  uint64_t size = 0;
};

// Streams one pack to `sink`: Begin with every entry's name and size, then
// the entries' bytes in the same order through Write, then Finish.
class PackWriter {
 public:
  using Sink = std::function<bool(const void* data, size_t size)>;

  PackWriter(std::string_view password, Sink sink);

  // Checks names (at most 259 bytes, no NUL) and sizes (offsets and sizes
  // must fit the signed 32-bit fields), then writes header and table.
  bool Begin(const std::vector<PackInput>& inputs, std::string* error);
  bool Write(const void* data, size_t size);
  // Pads the body to whole blocks and flushes. False when the data written
  // did not add up to the announced sizes or the sink failed.
  bool Finish(std::string* error);

  uint32_t payload_length() const { return payload_length_; }

 private:
  bool Put(const void* data, size_t size);
  bool Flush();

  aes128::KeySchedule key_;
  Sink sink_;
  std::vector<uint8_t> pending_;  // plain bytes waiting for a whole block run
  uint64_t expected_data_ = 0;
  uint64_t written_data_ = 0;
  uint32_t payload_length_ = 0;
  bool failed_ = false;
};

// Whole packs in memory, for tests and small tools.
std::string BuildPackBytes(const std::vector<std::pair<std::string, std::string>>& files,
                           std::string_view password);
// Header (payload length, reserved 0) + `plain_body` zero-padded to whole
// blocks and encrypted: for hand-made (also malformed) tables.
std::string SealPack(uint32_t payload_length, std::string plain_body, std::string_view password);
// The 268-byte table record, for hand-made tables.
std::string PackRecordBytes(std::string_view name, int32_t offset, int32_t size);
