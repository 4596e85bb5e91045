// What the package layer knows about a zip member, and the pure conversions
// from the zip's stored attributes and times to Windows ones.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/archive_entry.h"

struct ArchiveEntry {
  int32_t index = 0;
  char name[kArchiveNameBytes] = {};  // sanitised, NUL-terminated, code page 936
  uint32_t attributes = 0;
  FILETIME access_time = {};
  FILETIME creation_time = {};
  FILETIME write_time = {};
  int32_t compressed_size = 0;
  int32_t uncompressed_size = 0;
};

// Splits a DOS date (high word) and time (low word) into calendar fields.
// Returns false when the fields cannot name a real moment (month 0, day 0...).
bool DecodeDosDateTime(uint32_t dos_date_time, SYSTEMTIME* out);

// Unix seconds (signed) as a Windows file time.
FILETIME UnixTimeToFileTime(int32_t seconds);
