#include "package/archive_entry.h"

uint32_t MapZipAttributes(uint32_t version_made_by, uint32_t external) {
  const uint32_t host = version_made_by >> 8;
  bool read_only, hidden = false, system = false, directory, archive = true;
  if (host == 0 || host == 7 || host == 11 || host == 14) {
    read_only = external & 0x01;
    hidden = external & 0x02;
    system = external & 0x04;
    directory = external & 0x10;
    archive = external & 0x20;
  } else {
    directory = external & 0x40000000u;
    read_only = !(external & 0x00800000u);  // no owner-write bit
  }
  return (read_only ? FILE_ATTRIBUTE_READONLY : 0) | (hidden ? FILE_ATTRIBUTE_HIDDEN : 0) |
         (system ? FILE_ATTRIBUTE_SYSTEM : 0) | (directory ? FILE_ATTRIBUTE_DIRECTORY : 0) |
         (archive ? FILE_ATTRIBUTE_ARCHIVE : 0);
}

bool DecodeDosDateTime(uint32_t dos, SYSTEMTIME* out) {
  const uint32_t date = dos >> 16, time = dos & 0xFFFF;
  *out = SYSTEMTIME{};
  out->wYear = static_cast<WORD>(1980 + (date >> 9));
  out->wMonth = static_cast<WORD>((date >> 5) & 15);
  out->wDay = static_cast<WORD>(date & 31);
  out->wHour = static_cast<WORD>(time >> 11);
  out->wMinute = static_cast<WORD>((time >> 5) & 63);
  out->wSecond = static_cast<WORD>((time & 31) * 2);
  return out->wMonth >= 1 && out->wMonth <= 12 && out->wDay >= 1 && out->wHour < 24 &&
         out->wMinute < 60 && out->wSecond < 60;
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
        *value = static_cast<int32_t>(uint32_t{extra[pos]} | (uint32_t{extra[pos + 1]} << 8) |
                                      (uint32_t{extra[pos + 2]} << 16) |
                                      (uint32_t{extra[pos + 3]} << 24));
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

FILETIME UnixTimeToFileTime(int32_t seconds) {
  const uint64_t ticks = static_cast<uint64_t>((int64_t{seconds} + 11644473600LL) * 10000000LL);
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}
