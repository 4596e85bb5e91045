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
      for (size_t at = prefix; at < data.size(); at += step) {
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
