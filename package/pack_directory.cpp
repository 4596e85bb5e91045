#include "package/pack_directory.h"

#include <cstring>

namespace {

int32_t LoadInt32(const uint8_t* p) {
  uint32_t v = uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) |
               (uint32_t{p[3]} << 24);
  return static_cast<int32_t>(v);
}

}  // namespace

std::vector<PackRecord> ReadPackRecords(uint32_t payload_length, const uint8_t* body,
                                        size_t body_length) {
  std::vector<PackRecord> records;
  if (payload_length < 4 || body == nullptr || body_length < 4) return records;
  int32_t count = LoadInt32(body);
  if (count <= 0) return records;
  // 64-bit arithmetic: a count near 2^31 must not wrap into a small table.
  uint64_t table = uint64_t{kPackRecordSize} * static_cast<uint32_t>(count);
  if (table > uint64_t{payload_length} - 4 || table > uint64_t{body_length} - 4) return records;
  records.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* rec = body + 4 + kPackRecordSize * static_cast<size_t>(i);
    const char* name = reinterpret_cast<const char*>(rec);
    size_t len = 0;
    while (len < kPackNameField && name[len] != '\0') ++len;
    PackRecord r;
    r.name.assign(name, len);
    r.span.offset = LoadInt32(rec + kPackNameField);
    r.span.size = LoadInt32(rec + kPackNameField + 4);
    records.push_back(std::move(r));
  }
  return records;
}

PackDirectory ParsePackDirectory(uint32_t payload_length, const uint8_t* body,
                                 size_t body_length) {
  PackDirectory directory;
  for (PackRecord& r : ReadPackRecords(payload_length, body, body_length)) {
    directory[std::move(r.name)] = r.span;  // the last one wins
  }
  return directory;
}

bool SpanFitsBody(const PackSpan& span, size_t body_length) {
  if (span.offset < 0 || span.size < 0) return false;
  return uint64_t{static_cast<uint32_t>(span.offset)} + static_cast<uint32_t>(span.size) <=
         body_length;
}
