#include "core/signed_release.h"

#include <cstring>

#include "core/manifest_signature.h"

const ManifestFile* ManifestRecordForUrl(const SignedManifest& manifest, std::string_view url) {
  const std::string name = ManifestNameOfUrl(url);
  if (name.empty()) return nullptr;
  return FindManifestFile(manifest, name);
}

bool MatchesManifestRecord(const ManifestFile& record, uint64_t size, const Sha256Digest& sha256) {
  return record.size == size && record.sha256 == sha256;
}

ManifestDate EffectiveExpiryDate(const ManifestDate& local, const ManifestDate* server) {
  if (server && IsValidManifestDate(*server) && *server < local) return *server;
  return local;
}

ReleaseVerdict JudgeRelease(const SignedManifest& manifest, uint64_t installed,
                            const ManifestDate& local, const ManifestDate* server) {
  if (manifest.release < installed) return ReleaseVerdict::kOlder;
  if (IsManifestExpired(manifest, EffectiveExpiryDate(local, server))) return ReleaseVerdict::kExpired;
  return ReleaseVerdict::kAccepted;
}

namespace {

bool Digits(std::string_view text, size_t at, size_t n, int* out) {
  int value = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  *out = value;
  return true;
}

}  // namespace

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
  if (date.month == 0 || !Digits(text, 5, 2, &date.day) || !Digits(text, 12, 4, &date.year) ||
      !Digits(text, 17, 2, &h) || !Digits(text, 20, 2, &min) || !Digits(text, 23, 2, &s))
    return false;
  if (h > 23 || min > 59 || s > 60 || !IsValidManifestDate(date)) return false;
  *out = date;
  return true;
}
