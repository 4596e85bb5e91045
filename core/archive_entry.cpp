#include "core/archive_entry.h"

#include "core/byte_order.h"

namespace {

// The Windows FILE_ATTRIBUTE_* values.
constexpr uint32_t kReadOnly = 0x01, kHidden = 0x02, kSystem = 0x04, kDirectory = 0x10,
                   kArchive = 0x20;

}  // namespace

uint32_t MapZipAttributes(uint32_t version_made_by, uint32_t external) {
  const uint32_t host = version_made_by >> 8;
  // DOS-like hosts store the Windows bits themselves.
  if (host == 0 || host == 7 || host == 11 || host == 14)
    return external & (kReadOnly | kHidden | kSystem | kDirectory | kArchive);
  // Elsewhere the high half is the mode: its directory bit, and read-only
  // without the owner-write bit.
  return (external & 0x40000000u ? kDirectory : 0) | (external & 0x00800000u ? 0 : kReadOnly) |
         kArchive;
}

ExtraTimes ScanExtraTimes(const uint8_t* extra, size_t size) {
  ExtraTimes times;
  if (extra == nullptr) return times;
  size_t pos = 0;
  while (pos + 4 < size) {
    if (extra[pos] == 'U' && extra[pos + 1] == 'T') {
      const uint8_t flags = extra[pos + 4];
      pos += 5;
      auto take = [&](bool* has, int32_t* value) {
        if (pos + 4 > size) return;
        *value = static_cast<int32_t>(LoadLe32(extra + pos));
        *has = true;
        pos += 4;
      };
      if (flags & 1) take(&times.has_write, &times.write);
      if (flags & 2) take(&times.has_access, &times.access);
      if (flags & 4) take(&times.has_creation, &times.creation);
      break;
    }
    pos += 4 + extra[pos + 2];
  }
  return times;
}
