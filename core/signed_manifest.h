// The signed metadata text that names the files of a release with their
// sizes and SHA-256 digests (whole file and, optionally, per block), its
// reading and its writing. Plain ASCII "key=value" lines, LF or CRLF:
//   online-setup-manifest=1
//   release=<1..2^63-1>
//   expires=<YYYY-MM-DD>          optional: the last day it is accepted
//   file=<name>                   repeatable; starts a file record
//   size=<bytes>                  of the record, once
//   sha256=<64 lowercase hex>     of the record, once
//   block-size=<power of two, 64 KiB..64 MiB>   optional, once
//   block=<64 lowercase hex>      one per block, in order, after block-size
// The first line is the marker; release and expires come before the first
// file. Numbers are written without signs or leading zeros. A name is the
// file's path on the server from its root, without the leading "/"
// (ManifestNameOfUrl), so it holds on every mirror: letters, digits and
// "-_.~+/", components split at "/", none empty, "." or "..", none ending in
// a dot, and nothing a Windows folder would take for a device.
// Anything else (unknown or repeated keys, blank lines, other characters,
// a wrong number of blocks, a name given twice) makes the whole text invalid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/sha256.h"

constexpr size_t kMaxManifestBytes = 1024 * 1024;
constexpr size_t kMaxManifestNameLength = 255;
constexpr uint64_t kMinManifestBlockSize = 64 * 1024;
constexpr uint64_t kMaxManifestBlockSize = 64 * 1024 * 1024;
constexpr uint64_t kMaxManifestNumber = 0x7FFFFFFFFFFFFFFFull;

struct ManifestDate {
  int year = 0;
  int month = 0;
  int day = 0;
};
bool operator==(const ManifestDate& a, const ManifestDate& b);
bool operator<(const ManifestDate& a, const ManifestDate& b);

struct ManifestFile {
  std::string name;
  uint64_t size = 0;
  Sha256Digest sha256{};
  uint64_t blockSize = 0;  // 0: no per-block digests
  std::vector<Sha256Digest> blocks;
};
bool operator==(const ManifestFile& a, const ManifestFile& b);

// The record a publisher signs for the bytes `read` hands out, a whole block
// of `block_size` at a time (short only at the end, 0 after it); without a
// block size, in pieces of any size and no block digests. `read(buffer, n)`
// fills at most n bytes.
ManifestFile RecordOfBytes(std::string name, uint64_t block_size,
                           const std::function<size_t(unsigned char*, size_t)>& read);

struct SignedManifest {
  uint64_t release = 0;
  bool hasExpiry = false;
  ManifestDate expires;
  std::vector<ManifestFile> files;
};
bool operator==(const SignedManifest& a, const SignedManifest& b);

enum class ManifestError {
  kNone,
  kTooLarge,            // longer than kMaxManifestBytes
  kNotAManifest,        // the first line is not the marker
  kUnsupportedVersion,  // the marker with a version other than 1
  kBadLine,             // empty, no "=", or a byte outside printable ASCII
  kUnknownKey,
  kRepeatedKey,
  kMisplacedKey,        // header key after a file, file key before one, block before block-size
  kBadNumber,
  kBadDate,
  kBadName,
  kBadDigest,
  kBadBlockSize,
  kMissingKey,          // release, or a record's size or sha256
  kWrongBlockCount,
  kDuplicateFile,
};

struct ManifestStatus {
  ManifestError error = ManifestError::kNone;
  int line = 0;  // 1-based; the record's "file=" line for what a record lacks
  bool ok() const { return error == ManifestError::kNone; }
};

// A short English description, for the publish tool and traces.
const char* ManifestErrorText(ManifestError error);

// Fills `out` only when the whole text is valid.
ManifestStatus ParseSignedManifest(std::string_view text, SignedManifest* out);
// The canonical text (LF line ends) of a manifest. It checks nothing: parse
// the result to find what a reader would refuse.
std::string WriteSignedManifest(const SignedManifest& manifest);

// The record of `name` (compared byte for byte), or null.
const ManifestFile* FindManifestFile(const SignedManifest& manifest, std::string_view name);

// True when the manifest has an expiry date and `today` lies after it.
bool IsManifestExpired(const SignedManifest& manifest, const ManifestDate& today);
// True for a date of the proleptic Gregorian calendar, years 1 to 9999.
bool IsValidManifestDate(const ManifestDate& date);

// The manifest's number and date forms, for the tools that write one: digits
// only, no sign, no leading zero (but "0" itself), at most `max`; a valid date
// written YYYY-MM-DD. `out` is set only on success.
bool ParseManifestNumber(std::string_view text, uint64_t max, uint64_t* out);
bool ParseManifestDate(std::string_view text, ManifestDate* out);
// The `n` decimal digits of `text` from `at` (all inside it) as a number;
// false when any of them is not a digit.
bool ParseDigits(std::string_view text, size_t at, size_t n, int* out);
