// Pure rules over a zip member's stored fields: attribute bits and the
// extended timestamp block.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of an extracted member's name field (ArchiveEntry::name), with its
// NUL: a longer name is refused, never cut.
constexpr size_t kArchiveNameBytes = 260;

// Windows attribute bits from "version made by" and the external attributes:
// DOS-style hosts (0, 7, 11, 14) keep their low bits, others are read as Unix
// mode bits in the high word.
uint32_t MapZipAttributes(uint32_t version_made_by, uint32_t external_attributes);

// Times found in an "UT" (extended timestamp) extra block, as Unix seconds.
struct ExtraTimes {
  bool has_write = false, has_access = false, has_creation = false;
  int32_t write = 0, access = 0, creation = 0;
};
// Scans the local extra field; only the low byte of each block size is used.
// Never reads past `size`: a block cut short yields only the times it holds.
ExtraTimes ScanExtraTimes(const uint8_t* extra, size_t size);
