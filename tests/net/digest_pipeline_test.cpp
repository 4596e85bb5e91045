#include "net/digest_pipeline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/md5.h"
#include "core/signed_manifest.h"
#include "net_test_support.h"

namespace {
constexpr size_t kBlock = 65536;

ManifestFile RecordOf(const std::string& data) {
  ManifestFile f;
  f.size = data.size();
  f.sha256 = Sha256Of(data.data(), data.size());
  f.blockSize = kBlock;
  for (size_t at = 0; at < data.size(); at += kBlock)
    f.blocks.push_back(Sha256Of(data.data() + at, std::min(kBlock, data.size() - at)));
  return f;
}
}  // namespace

TEST(DigestPipeline, MatchesOneHashForAnyPrefixAndChunkSplit) {
  TempFolder dir;
  const std::string data = PatternBody(600 * 1024 + 13, 3);
  const std::string expected_md5 = Md5OfBytes(data.data(), data.size());
  const std::string path = dir.File("prefix.bin");
  WriteFileBytes(path, data);
  // Prefixes around the 256 KiB read size; chunks that straddle the 64-byte
  // MD5 block and the buffer size. With a signed record of 64 KiB blocks
  // the same splits must match it (blocks below 262144 count as checked).
  const ManifestFile record = RecordOf(data);
  const size_t steps[] = {1000, 4096, 65535, 65536};
  for (size_t prefix : {size_t{0}, size_t{1}, size_t{262143}, size_t{262144}, size_t{262145},
                        data.size() - 1, data.size()}) {
    for (size_t n = 0; n < 8; ++n) {
      const size_t step = steps[n % 4];
      DigestPipeline p(65536, 3, path, prefix, n < 4 ? nullptr : &record);
      // A checkpoint mark half way gives the digest of the bytes before it
      // and leaves the running digest alone.
      const size_t mark_at = prefix + (data.size() - prefix) / 2 / step * step;
      for (size_t at = prefix; at <= data.size(); at += step) {
        if (at == mark_at) {
          p.Mark();
          std::string mark_md5;
          uint64_t mark_total = 0;
          for (int i = 0; i < 5000 && !p.TakeMark(&mark_md5, &mark_total); ++i) ::Sleep(1);
          EXPECT_EQ(mark_total, mark_at) << prefix << "/" << step;
          EXPECT_EQ(mark_md5, Md5OfBytes(data.data(), mark_at)) << prefix << "/" << step;
          EXPECT_FALSE(p.TakeMark(&mark_md5, &mark_total));  // taken once
        }
        if (at == data.size()) break;
        size_t n = std::min(step, data.size() - at);
        char* b = p.Acquire();
        std::memcpy(b, data.data() + at, n);
        p.Submit(b, n);
      }
      // A buffer handed back unused counts for nothing.
      p.Release(p.Acquire());
      std::string md5;
      uint64_t total = 0;
      ASSERT_TRUE(p.Finish(&md5, &total)) << prefix << "/" << step;
      EXPECT_EQ(total, data.size()) << prefix << "/" << step;
      EXPECT_EQ(md5, expected_md5) << prefix << "/" << step;
      EXPECT_EQ(p.MatchesExpected(), n >= 4) << prefix << "/" << step;
    }
  }
}

TEST(DigestPipeline, APrefixThatCannotBeReadMakesTheDigestUnusable) {
  TempFolder dir;
  WriteFileBytes(dir.File("short.bin"), "abc");
  struct Case {
    std::string path;
    uint64_t prefix;
  } cases[] = {
      {dir.File("short.bin"), 4},     // the file is shorter than its prefix
      {dir.File("missing.bin"), 10},  // the file is gone
  };
  for (const Case& c : cases) {
    DigestPipeline p(1024, 2, c.path, c.prefix);
    char* b = p.Acquire();
    p.Submit(b, 0);
    std::string md5;
    uint64_t total = 0;
    EXPECT_FALSE(p.Finish(&md5, &total)) << c.path;
  }
  // Nothing at all: the digest of the empty message.
  DigestPipeline empty(1024, 2, "", 0);
  std::string md5;
  uint64_t total = 7;
  EXPECT_TRUE(empty.Finish(&md5, &total));
  EXPECT_EQ(total, 0u);
  EXPECT_EQ(md5, "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(DigestPipeline, ABadBlockIsFoundAndTheWholeFileMustMatchItsRecord) {
  TempFolder dir;
  const std::string good = PatternBody(5 * kBlock + 100, 4);
  const ManifestFile record = RecordOf(good);
  const uint64_t kNone = DigestPipeline::kNoBadBlock;
  struct Case {
    long flip;         // the byte changed, -1: none
    size_t prefix;     // taken from the file
    const char* tail;  // handed over past the size
    uint64_t bad;
  } cases[] = {
      {kBlock, 0, "", kBlock},                          // the first byte of a block
      {5 * kBlock + 99, 0, "", 5 * kBlock},             // the short last block
      {2 * kBlock + 3, 3 * kBlock - 1, "", 2 * kBlock}, // in a prefix off a block boundary
      {-1, 0, "x", kNone},
  };
  for (const Case& c : cases) {
    std::string data = good + c.tail;
    if (c.flip >= 0) data[c.flip] ^= 1;
    WriteFileBytes(dir.File("f.bin"), data);
    DigestPipeline p(kBlock, 3, dir.File("f.bin"), c.prefix, &record);
    for (size_t at = c.prefix; at < data.size(); at += 10000) {
      const size_t n = std::min<size_t>(10000, data.size() - at);
      char* b = p.Acquire();
      std::memcpy(b, data.data() + at, n);
      p.Submit(b, n);
    }
    std::string md5;
    uint64_t total = 0;
    EXPECT_TRUE(p.Finish(&md5, &total)) << c.flip;
    EXPECT_EQ(p.BadBlockStart(), c.bad) << c.flip;
    EXPECT_FALSE(p.MatchesExpected()) << c.flip;
  }
}
