#include "net/digest_pipeline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/md5.h"
#include "net_test_support.h"

TEST(DigestPipeline, MatchesOneHashForAnyPrefixAndChunkSplit) {
  TempFolder dir;
  const std::string data = PatternBody(600 * 1024 + 13, 3);
  const std::string expected = Md5OfBytes(data.data(), data.size());
  const std::string path = dir.File("prefix.bin");
  WriteFileBytes(path, data);
  // Prefixes around the 256 KiB read size; chunks that straddle the 64-byte
  // MD5 block and the buffer size.
  for (size_t prefix : {size_t{0}, size_t{1}, size_t{262143}, size_t{262144}, size_t{262145},
                        data.size() - 1, data.size()}) {
    for (size_t step : {size_t{1000}, size_t{4096}, size_t{65535}, size_t{65536}}) {
      DigestPipeline p(65536, 3, path, prefix);
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
      EXPECT_EQ(md5, expected) << prefix << "/" << step;
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
