// What the package layer knows about a zip member, and the pure conversions
// from the zip's stored attributes and times to Windows ones.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct ArchiveEntry {
  int32_t index = 0;
  char name[260] = {};  // sanitised, NUL-terminated, code page 936
  uint32_t attributes = 0;
  FILETIME access_time = {};
  FILETIME creation_time = {};
  FILETIME write_time = {};
  int32_t compressed_size = 0;
  int32_t uncompressed_size = 0;
};

// Windows attribute bits from "version made by" and the external attributes:
// DOS-style hosts (0, 7, 11, 14) keep their low bits, others are read as Unix
// mode bits in the high word.
uint32_t MapZipAttributes(uint32_t version_made_by, uint32_t external_attributes);

// Splits a DOS date (high word) and time (low word) into calendar fields.
// Returns false when the fields cannot name a real moment (month 0, day 0...).
bool DecodeDosDateTime(uint32_t dos_date_time, SYSTEMTIME* out);

// Times found in an "UT" (extended timestamp) extra block, as Unix seconds.
struct ExtraTimes {
  bool has_write = false, has_access = false, has_creation = false;
  int32_t write = 0, access = 0, creation = 0;
};
// Scans the local extra field; only the low byte of each block size is used.
// Never reads past `size`: a block cut short yields only the times it holds.
ExtraTimes ScanExtraTimes(const uint8_t* extra, size_t size);

// Unix seconds (signed) as a Windows file time.
FILETIME UnixTimeToFileTime(int32_t seconds);
