#include "core/block_digests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kBlock = 64;

std::string Bytes(size_t size) {
  std::string s;
  for (size_t i = 0; i < size; ++i) s += static_cast<char>(i * 31 + 7);
  return s;
}

std::vector<Sha256Digest> DigestsOf(const std::string& file) {
  std::vector<Sha256Digest> out;
  for (size_t at = 0; at < file.size(); at += kBlock)
    out.push_back(Sha256Of(file.data() + at, std::min<size_t>(kBlock, file.size() - at)));
  return out;
}

// Feeds `file` from `from`: a first piece of `first` bytes, then `chunk`s.
std::vector<BlockCheck> FeedAll(BlockDigests* d, const std::string& file, size_t from, size_t first,
                                size_t chunk) {
  std::vector<BlockCheck> checks;
  for (size_t at = from, piece = first; at < file.size(); at += piece, piece = chunk) {
    piece = std::min(piece, file.size() - at);
    EXPECT_EQ(d->Feed(file.data() + at, piece, &checks), piece);
  }
  return checks;
}

}  // namespace

TEST(BlockDigests, ResumeOffsets) {
  const uint64_t m = kDefaultVerifyBlockSize;
  struct Case {
    uint64_t local, total, block, expected;
  } cases[] = {
      {0, 200, 64, 0},     {63, 200, 64, 0},    {64, 200, 64, 64}, {65, 200, 64, 64},
      {199, 200, 64, 192}, {200, 200, 64, 200}, {201, 200, 64, 0}, {0, 0, 64, 0},
      {100, 200, 0, 0},    {3 * m + 1, 5 * m, m, 3 * m},
  };
  for (const Case& c : cases)
    EXPECT_EQ(VerifiedResumeOffset(c.local, c.total, c.block), c.expected) << c.local << "/" << c.total;
}

// Sizes around the block edges, fed in pieces whose first one slides across
// the first block boundaries: every block is checked once, in order.
TEST(BlockDigests, PiecesAcrossBlockBoundariesCheckEveryBlockOnce) {
  for (size_t size : {1u, 63u, 64u, 65u, 128u, 129u, 300u}) {
    const std::string file = Bytes(size);
    for (size_t chunk : {1u, 63u, 64u, 65u, 150u, 1000u}) {
      for (size_t first = 1; first <= 130; first += 3) {
        BlockDigests d(size, kBlock, DigestsOf(file));
        const std::vector<BlockCheck> checks = FeedAll(&d, file, 0, first, chunk);
        ASSERT_EQ(checks.size(), VerifyBlockCount(size, kBlock)) << size << " " << chunk << " " << first;
        for (size_t i = 0; i < checks.size(); ++i)
          EXPECT_TRUE(checks[i].index == i && checks[i].matched) << size << " block " << i;
        EXPECT_TRUE(d.complete());
        EXPECT_EQ(d.verified_end(), size);
      }
    }
  }
}

TEST(BlockDigests, BadBlocksAndResumes) {
  struct Case {
    const char* what;
    size_t size;
    std::vector<size_t> corrupt;  // blocks whose expected digest is wrong
    uint64_t start;
    std::vector<bool> matches;  // per block from the start
    uint64_t verified_end;
  } cases[] = {
      {"bad middle block", 256, {1}, 0, {true, false, true, true}, 64},
      {"bad first block", 256, {0}, 0, {false, true, true, true}, 0},
      {"bad last partial block", 230, {3}, 0, {true, true, true, false}, 192},
      {"resume past the bad block", 256, {0}, 128, {true, true}, 256},
      {"resume at a bad block", 256, {2}, 128, {false, true}, 128},
      {"resume at the partial last block", 230, {}, 192, {true}, 230},
  };
  for (const Case& c : cases) {
    const std::string file = Bytes(c.size);
    std::vector<Sha256Digest> expected = DigestsOf(file);
    for (size_t i : c.corrupt) expected[i][5] ^= 1;
    BlockDigests d(c.size, kBlock, expected);
    ASSERT_TRUE(d.Start(c.start)) << c.what;
    const std::vector<BlockCheck> checks = FeedAll(&d, file, c.start, 50, 50);
    ASSERT_EQ(checks.size(), c.matches.size()) << c.what;
    for (size_t i = 0; i < checks.size(); ++i)
      EXPECT_TRUE(checks[i].index == c.start / kBlock + i && checks[i].matched == c.matches[i])
          << c.what << " block " << i;
    EXPECT_EQ(d.verified_end(), c.verified_end) << c.what;
    EXPECT_EQ(d.any_bad(), c.verified_end != c.size) << c.what;
  }
}

TEST(BlockDigests, RefusesBytesBeyondTheSizeAndUnusableLists) {
  const std::string file = Bytes(100) + "tail of an endless answer";
  BlockDigests d(100, kBlock, DigestsOf(file.substr(0, 100)));
  EXPECT_EQ(d.Feed(file.data(), 60, nullptr), 60u);
  EXPECT_EQ(d.Feed(file.data() + 60, file.size() - 60, nullptr), 40u);
  EXPECT_EQ(d.Feed(file.data() + 100, 5, nullptr), 0u);
  EXPECT_EQ(d.verified_end(), 100u);
  for (uint64_t at : {1u, 63u, 65u, 101u}) EXPECT_FALSE(d.Start(at)) << at;
  EXPECT_TRUE(d.Start(64));
  EXPECT_EQ(d.verified_end(), 64u);

  BlockDigests empty(0, kBlock, {});
  EXPECT_TRUE(empty.complete());
  EXPECT_EQ(empty.Feed("x", 1, nullptr), 0u);

  // Digest lists of the wrong length, or no block size, check nothing.
  struct Case {
    uint64_t size, block;
    size_t digests;
  } unusable[] = {{100, kBlock, 1}, {100, kBlock, 3}, {0, kBlock, 1}, {100, 0, 2}};
  for (const Case& c : unusable) {
    BlockDigests u(c.size, c.block, std::vector<Sha256Digest>(c.digests));
    EXPECT_FALSE(u.usable() || u.complete() || u.Start(0));
    EXPECT_EQ(u.Feed(file.data(), 100, nullptr), 0u);
  }
}
