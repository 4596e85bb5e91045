#include "core/signed_manifest.h"

#include <cstdio>
#include <set>
#include <tuple>
#include <utility>

#include "core/block_digests.h"
#include "core/gbk_text.h"
#include "core/hex_text.h"
#include "core/safe_path.h"

constexpr std::string_view kMarkerKey = "online-setup-manifest";
constexpr std::string_view kVersion = "1";

bool ParseManifestNumber(std::string_view text, uint64_t max, uint64_t* out) {
  if (text.empty() || (text.size() > 1 && text[0] == '0')) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *out = value;
  return true;
}

bool ParseDigits(std::string_view text, size_t at, size_t n, int* out) {
  int value = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  *out = value;
  return true;
}

bool ParseManifestDate(std::string_view text, ManifestDate* out) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  ManifestDate d;
  if (!ParseDigits(text, 0, 4, &d.year) || !ParseDigits(text, 5, 2, &d.month) ||
      !ParseDigits(text, 8, 2, &d.day) || !IsValidManifestDate(d))
    return false;
  *out = d;
  return true;
}

namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '~' || c == '+' || c == '/';
}

bool IsValidName(std::string_view name) {
  if (name.empty() || name.size() > kMaxManifestNameLength) return false;
  for (char c : name)
    if (!IsNameChar(c)) return false;
  // No empty part (a leading, doubled or trailing "/"), none ending in a dot:
  // Windows drops a trailing dot, so "a." would name the same file as "a".
  if (name.front() == '/' || name.back() == '/' || name.find("//") != std::string_view::npos ||
      name.back() == '.' || name.find("./") != std::string_view::npos)
    return false;
  return StaysInsideFolder(name);
}

class Parser {
 public:
  ManifestStatus Run(std::string_view text, SignedManifest* out) {
    if (text.size() > kMaxManifestBytes) return {ManifestError::kTooLarge, 0};
    for (std::string_view line : gbk::SplitLines(text)) {
      ++line_;
      const ManifestError error = Line(line);
      if (error != ManifestError::kNone) return {error, error_line_ ? error_line_ : line_};
    }
    if (line_ == 0) return {ManifestError::kNotAManifest, 1};
    if (ManifestError error = EndRecord(); error != ManifestError::kNone) return {error, record_line_};
    if (!have_release_) return {ManifestError::kMissingKey, line_};
    *out = std::move(m_);
    return {};
  }

 private:
  // True the first time a key is met; marks it as met. (A key that is then
  // refused ends the parse, so it need not count as met.)
  static bool First(bool* met) { return !std::exchange(*met, true); }

  ManifestError Line(std::string_view line) {
    const ManifestError bad = line_ == 1 ? ManifestError::kNotAManifest : ManifestError::kBadLine;
    for (char c : line)
      if (c < 0x20 || c > 0x7E) return bad;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return bad;
    const std::string_view key = line.substr(0, eq);
    const std::string_view value = line.substr(eq + 1);
    if (line_ == 1) {
      if (key != kMarkerKey) return ManifestError::kNotAManifest;
      return value == kVersion ? ManifestError::kNone : ManifestError::kUnsupportedVersion;
    }
    if (key == kMarkerKey) return ManifestError::kRepeatedKey;
    if (key == "release" || key == "expires") return ReleaseKey(key, value);
    if (key == "file") return StartFile(value);
    const bool file_key = key == "size" || key == "sha256" || key == "block-size" || key == "block";
    if (!file_key) return ManifestError::kUnknownKey;
    if (!in_record_) return ManifestError::kMisplacedKey;
    return FileKey(key, value);
  }

  // A key of the release itself, before the first file.
  ManifestError ReleaseKey(std::string_view key, std::string_view value) {
    if (in_record_) return ManifestError::kMisplacedKey;
    if (key == "release") {
      if (!First(&have_release_)) return ManifestError::kRepeatedKey;
      if (!ParseManifestNumber(value, kMaxManifestNumber, &m_.release) || m_.release == 0)
        return ManifestError::kBadNumber;
      return ManifestError::kNone;
    }
    if (!First(&m_.hasExpiry)) return ManifestError::kRepeatedKey;
    return ParseManifestDate(value, &m_.expires) ? ManifestError::kNone : ManifestError::kBadDate;
  }

  // "file=": the record before it ends, a new one begins.
  ManifestError StartFile(std::string_view value) {
    if (!have_release_) return ManifestError::kMissingKey;
    if (ManifestError error = EndRecord(); error != ManifestError::kNone) {
      error_line_ = record_line_;
      return error;
    }
    if (!IsValidName(value)) return ManifestError::kBadName;
    if (!names_.insert(std::string(value)).second) return ManifestError::kDuplicateFile;
    m_.files.emplace_back();
    m_.files.back().name = std::string(value);
    in_record_ = true;
    have_size_ = have_sha256_ = have_block_size_ = false;
    record_line_ = line_;
    return ManifestError::kNone;
  }

  // A key of the file record that is open.
  ManifestError FileKey(std::string_view key, std::string_view value) {
    ManifestFile& f = m_.files.back();
    if (key == "size") {
      if (!First(&have_size_)) return ManifestError::kRepeatedKey;
      if (!ParseManifestNumber(value, kMaxManifestNumber, &f.size)) return ManifestError::kBadNumber;
    } else if (key == "sha256") {
      if (!First(&have_sha256_)) return ManifestError::kRepeatedKey;
      if (!ParseLowerHex(value, f.sha256.data(), kSha256Size)) return ManifestError::kBadDigest;
    } else if (key == "block-size") {
      if (!First(&have_block_size_)) return ManifestError::kRepeatedKey;
      uint64_t size = 0;
      if (!ParseManifestNumber(value, kMaxManifestNumber, &size)) return ManifestError::kBadNumber;
      if (size < kMinManifestBlockSize || size > kMaxManifestBlockSize || (size & (size - 1)))
        return ManifestError::kBadBlockSize;
      f.blockSize = size;
    } else {
      if (!have_block_size_) return ManifestError::kMisplacedKey;
      Sha256Digest d;
      if (!ParseLowerHex(value, d.data(), kSha256Size)) return ManifestError::kBadDigest;
      f.blocks.push_back(d);
    }
    return ManifestError::kNone;
  }

  // Checks the record that is open, if any.
  ManifestError EndRecord() {
    if (!in_record_) return ManifestError::kNone;
    const ManifestFile& f = m_.files.back();
    if (!have_size_ || !have_sha256_) return ManifestError::kMissingKey;
    if (have_block_size_ && f.blocks.size() != VerifyBlockCount(f.size, f.blockSize))
      return ManifestError::kWrongBlockCount;
    return ManifestError::kNone;
  }

  SignedManifest m_;
  std::set<std::string> names_;
  int line_ = 0;
  int error_line_ = 0;
  int record_line_ = 0;
  bool have_release_ = false;
  bool in_record_ = false;
  bool have_size_ = false;
  bool have_sha256_ = false;
  bool have_block_size_ = false;
};

}  // namespace

bool operator==(const ManifestDate& a, const ManifestDate& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

bool operator<(const ManifestDate& a, const ManifestDate& b) {
  return std::tie(a.year, a.month, a.day) < std::tie(b.year, b.month, b.day);
}

ManifestFile RecordOfBytes(std::string name, uint64_t block_size,
                           const std::function<size_t(unsigned char*, size_t)>& read) {
  ManifestFile record;
  record.name = std::move(name);
  record.blockSize = block_size;
  Sha256 whole;
  std::vector<unsigned char> buffer(block_size ? block_size : 1 << 16);
  size_t got;
  while ((got = read(buffer.data(), buffer.size())) > 0) {
    whole.Update(buffer.data(), got);
    record.size += got;
    if (block_size) record.blocks.push_back(Sha256Of(buffer.data(), got));
  }
  record.sha256 = whole.Final();
  return record;
}

bool operator==(const ManifestFile& a, const ManifestFile& b) {
  return a.name == b.name && a.size == b.size && a.sha256 == b.sha256 && a.blockSize == b.blockSize &&
         a.blocks == b.blocks;
}

bool operator==(const SignedManifest& a, const SignedManifest& b) {
  return a.release == b.release && a.hasExpiry == b.hasExpiry && a.expires == b.expires &&
         a.files == b.files;
}

const char* ManifestErrorText(ManifestError error) {
  switch (error) {
    case ManifestError::kNone: return "no error";
    case ManifestError::kTooLarge: return "manifest larger than 1 MiB";
    case ManifestError::kNotAManifest: return "first line is not online-setup-manifest=1";
    case ManifestError::kUnsupportedVersion: return "unsupported manifest version";
    case ManifestError::kBadLine: return "malformed line";
    case ManifestError::kUnknownKey: return "unknown key";
    case ManifestError::kRepeatedKey: return "key given twice";
    case ManifestError::kMisplacedKey: return "key out of place";
    case ManifestError::kBadNumber: return "bad number";
    case ManifestError::kBadDate: return "bad date";
    case ManifestError::kBadName: return "bad file name";
    case ManifestError::kBadDigest: return "bad digest";
    case ManifestError::kBadBlockSize: return "bad block size";
    case ManifestError::kMissingKey: return "missing key";
    case ManifestError::kWrongBlockCount: return "wrong number of blocks";
    case ManifestError::kDuplicateFile: return "file named twice";
  }
  return "unknown error";
}

ManifestStatus ParseSignedManifest(std::string_view text, SignedManifest* out) {
  return Parser().Run(text, out);
}

std::string WriteSignedManifest(const SignedManifest& m) {
  std::string out;
  out += std::string(kMarkerKey) + "=" + std::string(kVersion) + "\n";
  out += "release=" + std::to_string(m.release) + "\n";
  if (m.hasExpiry) {
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", m.expires.year, m.expires.month, m.expires.day);
    out += std::string("expires=") + date + "\n";
  }
  for (const ManifestFile& f : m.files) {
    out += "file=" + f.name + "\n";
    out += "size=" + std::to_string(f.size) + "\n";
    out += "sha256=" + Sha256Hex(f.sha256.data()) + "\n";
    if (!f.blockSize) continue;
    out += "block-size=" + std::to_string(f.blockSize) + "\n";
    for (const Sha256Digest& d : f.blocks) out += "block=" + Sha256Hex(d.data()) + "\n";
  }
  return out;
}

const ManifestFile* FindManifestFile(const SignedManifest& manifest, std::string_view name) {
  for (const ManifestFile& f : manifest.files)
    if (f.name == name) return &f;
  return nullptr;
}

bool IsManifestExpired(const SignedManifest& manifest, const ManifestDate& today) {
  return manifest.hasExpiry && manifest.expires < today;
}

bool IsValidManifestDate(const ManifestDate& d) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) return false;
  const bool leap = d.year % 4 == 0 && (d.year % 100 != 0 || d.year % 400 == 0);
  return d.day <= kDays[d.month - 1] + (d.month == 2 && leap);
}
