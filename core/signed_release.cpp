#include "core/signed_release.h"

#include "core/manifest_signature.h"

const ManifestFile* ManifestRecordForUrl(const SignedManifest& manifest, std::string_view url) {
  const std::string name = ManifestNameOfUrl(url);
  if (name.empty()) return nullptr;
  return FindManifestFile(manifest, name);
}

bool MatchesManifestRecord(const ManifestFile& record, uint64_t size, const Sha256Digest& sha256) {
  return record.size == size && record.sha256 == sha256;
}

ReleaseVerdict JudgeRelease(const SignedManifest& manifest, uint64_t installed,
                            const ManifestDate& local, const ManifestDate* server) {
  if (manifest.release < installed) return ReleaseVerdict::kOlder;
  const bool by_server = server && IsValidManifestDate(*server) && *server < local;
  if (IsManifestExpired(manifest, by_server ? *server : local)) return ReleaseVerdict::kExpired;
  return ReleaseVerdict::kAccepted;
}

bool ParseHttpDate(std::string_view text, ManifestDate* out) {
  // "Sun, 06 Nov 1994 08:49:37 GMT": fixed positions, 29 characters.
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  static const char* const kDays[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  if (text.size() != 29 || text.substr(3, 2) != ", " || text[7] != ' ' || text[11] != ' ' ||
      text[16] != ' ' || text[19] != ':' || text[22] != ':' || text.substr(25) != " GMT")
    return false;
  bool day_name = false;
  for (const char* d : kDays) day_name = day_name || text.substr(0, 3) == d;
  if (!day_name) return false;
  ManifestDate date;
  for (int m = 0; m < 12; ++m)
    if (text.substr(8, 3) == kMonths[m]) date.month = m + 1;
  int h = 0, min = 0, s = 0;
  if (date.month == 0 || !ParseDigits(text, 5, 2, &date.day) ||
      !ParseDigits(text, 12, 4, &date.year) || !ParseDigits(text, 17, 2, &h) ||
      !ParseDigits(text, 20, 2, &min) || !ParseDigits(text, 23, 2, &s))
    return false;
  if (h > 23 || min > 59 || s > 60 || !IsValidManifestDate(date)) return false;
  *out = date;
  return true;
}
