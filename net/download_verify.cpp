#include "net/download_verify.h"

#include <windows.h>

#include <share.h>
#include <stdio.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "core/block_digests.h"
#include "core/gbk_text.h"
#include "core/signed_manifest.h"
#include "net/resume_cache.h"

namespace {

// Large enough for full disk speed, small enough to stay out of the way.
constexpr size_t kHashBufferBytes = 256 * 1024;

}  // namespace

ScopedStdioFile OpenShared(const std::string& path, int64_t* length) {
  ScopedStdioFile file(::_fsopen(path.c_str(), "rb", _SH_DENYNO));
  if (!file || length == nullptr) return file;
  *length = -1;
  if (::_fseeki64(file.get(), 0, SEEK_END) != 0) return file;
  const int64_t end = ::_ftelli64(file.get());
  if (end >= 0 && ::_fseeki64(file.get(), 0, SEEK_SET) == 0) *length = end;
  return file;
}

bool ReadInto(FILE* file, uint64_t length, const std::function<void(const char*, size_t)>& take) {
  std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(length, kHashBufferBytes)));
  for (uint64_t done = 0; done < length;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - done));
    const size_t got = ::fread(buffer.data(), 1, want, file);
    take(buffer.data(), got);
    done += got;
    if (got < want) return false;  // came up short: the file shrank or cannot be read
  }
  return true;
}

std::string FinalMd5Hex(MD5_CTX* md5) {
  unsigned char digest[16];
  md5->Final(digest);
  return Md5Hex(digest);
}

FileDigest DigestFile(const std::string& path, int64_t expected_length) {
  FileDigest result;
  ScopedStdioFile file = OpenShared(path, &result.length);
  if (!file) return result;
  result.opened = true;
  if (result.length < 0 || (expected_length >= 0 && result.length != expected_length))
    return result;
  MD5_CTX md5;
  auto take = [&](const char* data, size_t n) { md5.Update(data, n); };
  if (!ReadInto(file.get(), static_cast<uint64_t>(result.length), take)) return result;
  result.complete = true;
  result.md5 = FinalMd5Hex(&md5);
  return result;
}

void UpdateFileDigest(CacheRecord* record, const KnownDigest* known) {
  record->localSize = 0;
  record->localMd5.clear();
  KnownDigest taken;
  if (known == nullptr) {
    const FileDigest d = DigestFile(record->localPath);
    if (!d.opened) {
      record->localPath.clear();
      return;
    }
    if (d.complete) taken = {static_cast<uint64_t>(d.length), d.md5};
    known = &taken;
  }
  // Sizes are stored as signed 32-bit numbers; empty or larger files are not recorded.
  if (known->size >= 1 && known->size <= INT_MAX) {
    record->localSize = static_cast<int>(known->size);
    record->localMd5 = known->md5;
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
  int64_t length = -1;
  ScopedStdioFile file = OpenShared(record.localPath, &length);
  MD5_CTX md5;
  auto take = [&](const char* data, size_t n) { md5.Update(data, n); };
  if (!file || length <= record.localSize || !ReadInto(file.get(), record.localSize, take) ||
      !gbk::EqualsIgnoreCase(FinalMd5Hex(&md5), record.localMd5))
    return false;
  return CutFile(record.localPath, static_cast<uint64_t>(record.localSize));
}

KnownDigest VerifyPrefixBlocks(const std::string& path, uint64_t length, const ManifestFile& file) {
  KnownDigest kept;
  BlockDigests blocks(file.size, file.blockSize, file.blocks);
  ScopedStdioFile f = OpenShared(path);
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
    kept.size = at;
    at_kept = md5;
  }
  kept.md5 = FinalMd5Hex(&at_kept);
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
