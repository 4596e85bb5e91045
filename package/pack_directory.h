// The directory at the start of a decrypted pack body: an entry count, then
// 268-byte records (260-byte NUL-terminated name, int32 offset, int32 size).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

constexpr size_t kPackNameField = 260;
constexpr size_t kPackRecordSize = 268;
constexpr size_t kPackHeaderSize = 8;

struct PackSpan {
  int32_t offset = 0;  // from the first byte of the body
  int32_t size = 0;
};

struct PackRecord {
  std::string name;
  PackSpan span;
};

// Keyed by the full entry name. std::string orders byte by byte as unsigned
// characters, a prefix first, which is the order the files are written in.
using PackDirectory = std::map<std::string, PackSpan>;

// The records in file order, or an empty list when the table is not usable:
// payload length below 4, a non-positive count, or a table that does not fit
// in the payload or in the body.
std::vector<PackRecord> ReadPackRecords(uint32_t payload_length, const uint8_t* body,
                                        size_t body_length);

// The records by name; a later record with the same name replaces an earlier one.
PackDirectory ParsePackDirectory(uint32_t payload_length, const uint8_t* body,
                                 size_t body_length);

// True when the span's bytes lie wholly inside a body of `body_length` bytes.
bool SpanFitsBody(const PackSpan& span, size_t body_length);
