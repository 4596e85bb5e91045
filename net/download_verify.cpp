#include "net/download_verify.h"

#include <windows.h>

#include <share.h>
#include <stdio.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "core/block_digests.h"
#include "core/gbk_text.h"
#include "core/md5.h"
#include "core/sha256.h"
#include "core/signed_manifest.h"
#include "net/resume_cache.h"
#include "system/scoped_handle.h"

namespace {

// Large enough for full disk speed, small enough to stay out of the way.
constexpr size_t kHashBufferBytes = 256 * 1024;

}  // namespace

FileDigest DigestFile(const std::string& path, int64_t expected_length) {
  FileDigest result;
  ScopedStdioFile file(::_fsopen(path.c_str(), "rb", _SH_DENYNO));
  if (!file) return result;
  result.opened = true;
  if (::_fseeki64(file.get(), 0, SEEK_END) != 0) return result;
  result.length = ::_ftelli64(file.get());
  if (result.length < 0 || ::_fseeki64(file.get(), 0, SEEK_SET) != 0) return result;
  if (expected_length >= 0 && result.length != expected_length) return result;

  std::vector<unsigned char> buffer(kHashBufferBytes);
  MD5_CTX md5;
  int64_t remaining = result.length;
  while (remaining > 0) {
    size_t want = remaining < static_cast<int64_t>(buffer.size()) ? static_cast<size_t>(remaining)
                                                                  : buffer.size();
    size_t got = ::fread(buffer.data(), 1, want, file.get());
    md5.Update(buffer.data(), got);
    remaining -= static_cast<int64_t>(got);
    if (got < want) break;  // came up short: the file shrank or cannot be read
  }
  if (remaining != 0) return result;
  unsigned char digest[16];
  md5.Final(digest);
  result.complete = true;
  result.md5 = Md5Hex(digest);
  return result;
}

void UpdateFileDigest(CacheRecord* record) {
  record->localSize = 0;
  record->localMd5.clear();
  FileDigest d = DigestFile(record->localPath);
  if (!d.opened) {
    record->localPath.clear();
    return;
  }
  // Sizes are stored as signed 32-bit numbers; larger files are not recorded.
  if (d.complete && d.length >= 1 && d.length <= INT_MAX) {
    record->localSize = static_cast<int>(d.length);
    record->localMd5 = d.md5;
  }
}

bool IsCacheRecordValid(const CacheRecord& record) {
  if (record.section.empty()) return false;
  if (record.etag.empty() && record.lastModified.empty()) return false;
  if (record.totalSize < 1 || record.totalSize < record.localSize) return false;
  FileDigest d = DigestFile(record.localPath, record.localSize);
  if (!d.opened || d.length < 1 || d.length != record.localSize) return false;
  return d.complete && gbk::EqualsIgnoreCase(d.md5, record.localMd5);
}

bool TrimToRecord(const CacheRecord& record) {
  if (record.section.empty() || record.localPath.empty()) return false;
  if (record.etag.empty() && record.lastModified.empty()) return false;
  if (record.localSize < 1 || record.totalSize < record.localSize) return false;
  ScopedFileHandle file(::CreateFileA(record.localPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER length;
  if (!file || !::GetFileSizeEx(file.get(), &length) || length.QuadPart <= record.localSize)
    return false;
  std::vector<unsigned char> buffer(kHashBufferBytes);
  MD5_CTX md5;
  int64_t remaining = record.localSize;
  while (remaining > 0) {
    DWORD want = static_cast<DWORD>(std::min<int64_t>(remaining, buffer.size()));
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer.data(), want, &got, nullptr) || got == 0) return false;
    md5.Update(buffer.data(), got);
    remaining -= got;
  }
  unsigned char digest[16];
  md5.Final(digest);
  if (!gbk::EqualsIgnoreCase(Md5Hex(digest), record.localMd5)) return false;
  LARGE_INTEGER cut;
  cut.QuadPart = record.localSize;
  return ::SetFilePointerEx(file.get(), cut, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get());
}

bool MatchesManifestFile(const std::string& path, const ManifestFile& file) {
  ScopedStdioFile f(::_fsopen(path.c_str(), "rb", _SH_DENYNO));
  if (!f || ::_fseeki64(f.get(), 0, SEEK_END) != 0) return false;
  const int64_t length = ::_ftelli64(f.get());
  if (length < 0 || static_cast<uint64_t>(length) != file.size ||
      ::_fseeki64(f.get(), 0, SEEK_SET) != 0)
    return false;
  std::vector<unsigned char> buffer(kHashBufferBytes);
  Sha256 sha;
  for (uint64_t left = file.size; left > 0;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
    const size_t got = ::fread(buffer.data(), 1, want, f.get());
    if (got != want) return false;
    sha.Update(buffer.data(), got);
    left -= got;
  }
  return sha.Final() == file.sha256;
}

VerifiedPrefix VerifyPrefixBlocks(const std::string& path, uint64_t length,
                                  const ManifestFile& file) {
  VerifiedPrefix kept;
  BlockDigests blocks(file.size, file.blockSize, file.blocks);
  ScopedStdioFile f(::_fsopen(path.c_str(), "rb", _SH_DENYNO));
  if (!blocks.usable() || !f) return kept;
  const uint64_t end = VerifiedResumeOffset(length, file.size, file.blockSize);
  std::vector<unsigned char> buffer(kHashBufferBytes);
  std::vector<BlockCheck> completed;
  MD5_CTX md5;
  MD5_CTX at_kept;  // the digest of the bytes up to the last block that matched
  for (uint64_t at = 0; at < end;) {
    // Pieces never cross a block's end, so each completes one block at most.
    const uint64_t block_end = std::min(end, (at / file.blockSize + 1) * file.blockSize);
    const size_t want = static_cast<size_t>(std::min<uint64_t>(block_end - at, buffer.size()));
    if (::fread(buffer.data(), 1, want, f.get()) != want) break;
    completed.clear();
    blocks.Feed(buffer.data(), want, &completed);
    md5.Update(buffer.data(), want);
    at += want;
    if (completed.empty()) continue;
    if (!completed.front().matched) break;
    kept.length = at;
    at_kept = md5;
  }
  unsigned char digest[16];
  at_kept.Final(digest);
  kept.md5 = Md5Hex(digest);
  return kept;
}

bool CutFile(const std::string& path, uint64_t length) {
  ScopedFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER cut;
  cut.QuadPart = static_cast<LONGLONG>(length);
  return file && ::SetFilePointerEx(file.get(), cut, nullptr, FILE_BEGIN) &&
         ::SetEndOfFile(file.get());
}
