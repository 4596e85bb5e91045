#include "package/archive_entry.h"

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

FILETIME UnixTimeToFileTime(int32_t seconds) {
  const uint64_t ticks = static_cast<uint64_t>((int64_t{seconds} + 11644473600LL) * 10000000LL);
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}
