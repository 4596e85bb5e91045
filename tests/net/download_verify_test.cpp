#include "net/download_verify.h"

#include <gtest/gtest.h>

#include <string>

#include "core/md5.h"
#include "net/resume_cache.h"
#include "net_test_support.h"

namespace {
constexpr size_t kBuf = 256 * 1024;  // the digest's read size

std::string Hex(const std::string& bytes) { return Md5OfBytes(bytes.data(), bytes.size()); }
}  // namespace

TEST(FileDigest, StreamsAcrossReadBoundariesWithTheSameResultAsOneHash) {
  TempFolder dir;
  for (size_t size : {size_t{1}, size_t{63}, size_t{64}, kBuf - 1, kBuf, kBuf + 1, 3 * kBuf + 7}) {
    const std::string body = PatternBody(size, static_cast<unsigned>(size));
    const std::string path = dir.File("f.bin");
    WriteFileBytes(path, body);
    CacheRecord r("unused");
    r.localPath = path;
    UpdateFileDigest(&r);
    EXPECT_EQ(r.localSize, static_cast<int>(size)) << size;
    EXPECT_EQ(r.localMd5, Hex(body)) << size;
    EXPECT_EQ(r.localPath, path);
  }
}

TEST(FileDigest, EmptyAndMissingFiles) {
  TempFolder dir;
  CacheRecord empty("unused");
  empty.localPath = dir.File("empty.bin");
  WriteFileBytes(empty.localPath, "");
  empty.localSize = 5;
  empty.localMd5 = "stale";
  UpdateFileDigest(&empty);
  EXPECT_EQ(empty.localSize, 0);
  EXPECT_EQ(empty.localMd5, "");
  EXPECT_EQ(empty.localPath, dir.File("empty.bin"));  // opened, so kept

  CacheRecord missing("unused");
  missing.localPath = dir.File("missing.bin");
  missing.localSize = 5;
  missing.localMd5 = "stale";
  UpdateFileDigest(&missing);
  EXPECT_EQ(missing.localSize, 0);
  EXPECT_EQ(missing.localMd5, "");
  EXPECT_EQ(missing.localPath, "");

  FileDigest d = DigestFile(dir.File("empty.bin"));
  EXPECT_TRUE(d.opened);
  EXPECT_EQ(d.length, 0);
  EXPECT_TRUE(d.complete);
  EXPECT_EQ(d.md5, "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(CacheRecordValid, TrustsOnlyARecordMatchingItsFile) {
  TempFolder dir;
  const std::string body = PatternBody(kBuf + 3);
  const std::string path = dir.File("pkg.bin");
  auto base = [&] {
    CacheRecord r("unused");
    r.section = "http://h/pkg.bin";
    r.etag = "v1";
    r.lastModified = "Mon, 07 Dec 2026 04:00:00 GMT";
    r.totalSize = static_cast<int>(body.size()) + 10;
    r.localPath = path;
    r.localSize = static_cast<int>(body.size());
    r.localMd5 = Hex(body);
    return r;
  };
  struct Case {
    const char* name;
    void (*change)(CacheRecord*, std::string* file);
    bool valid;
  } cases[] = {
      {"as recorded (partial file)", [](CacheRecord*, std::string*) {}, true},
      {"complete file", [](CacheRecord* r, std::string*) { r->totalSize = r->localSize; }, true},
      {"upper-case md5", [](CacheRecord* r, std::string*) {
         for (char& c : r->localMd5) c = static_cast<char>(toupper(c));
       }, true},
      {"only an etag", [](CacheRecord* r, std::string*) { r->lastModified.clear(); }, true},
      {"only last-modified", [](CacheRecord* r, std::string*) { r->etag.clear(); }, true},
      {"no section", [](CacheRecord* r, std::string*) { r->section.clear(); }, false},
      {"no validator", [](CacheRecord* r, std::string*) {
         r->etag.clear();
         r->lastModified.clear();
       }, false},
      {"total size 0", [](CacheRecord* r, std::string*) { r->totalSize = 0; }, false},
      {"local larger than total", [](CacheRecord* r, std::string*) {
         r->totalSize = r->localSize - 1;
       }, false},
      {"file one byte longer", [](CacheRecord*, std::string* f) { *f += 'x'; }, false},
      {"file one byte shorter", [](CacheRecord*, std::string* f) { f->pop_back(); }, false},
      {"same size, other content", [](CacheRecord*, std::string* f) { (*f)[kBuf] ^= 1; }, false},
      {"wrong md5", [](CacheRecord* r, std::string*) { r->localMd5[0] ^= 1; }, false},
      {"empty file", [](CacheRecord* r, std::string* f) {
         f->clear();
         r->localSize = 0;
         r->localMd5 = "d41d8cd98f00b204e9800998ecf8427e";
       }, false},
      {"file missing", [](CacheRecord* r, std::string*) { r->localPath += ".gone"; }, false},
  };
  for (const Case& c : cases) {
    CacheRecord r = base();
    std::string file = body;
    c.change(&r, &file);
    WriteFileBytes(path, file);
    EXPECT_EQ(IsCacheRecordValid(r), c.valid) << c.name;
  }
}
