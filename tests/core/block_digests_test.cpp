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

std::vector<Sha256Digest> DigestsOf(const std::string& file, uint64_t block) {
  std::vector<Sha256Digest> out;
  for (size_t at = 0; at < file.size(); at += block)
    out.push_back(Sha256Of(file.data() + at, std::min<size_t>(block, file.size() - at)));
  return out;
}

// Feeds `file` from `from` in pieces of `chunk` bytes, the first one `first`
// bytes long, and returns the checks in the order they came.
std::vector<BlockCheck> FeedAll(BlockDigests* d, const std::string& file, size_t from, size_t first,
                                size_t chunk) {
  std::vector<BlockCheck> checks;
  size_t at = from;
  size_t piece = first;
  while (at < file.size()) {
    piece = std::min(piece, file.size() - at);
    EXPECT_EQ(d->Feed(file.data() + at, piece, &checks), piece);
    at += piece;
    piece = chunk;
  }
  return checks;
}

}  // namespace

TEST(BlockDigests, ResumeOffsets) {
  struct Case {
    uint64_t local, total, block, expected;
  } cases[] = {
      {0, 200, 64, 0},     {63, 200, 64, 0},   {64, 200, 64, 64},   {65, 200, 64, 64},
      {199, 200, 64, 192}, {200, 200, 64, 200}, {201, 200, 64, 0},  {128, 128, 64, 128},
      {0, 0, 64, 0},       {5, 0, 64, 0},      {100, 200, 0, 0},
      {kDefaultVerifyBlockSize * 3 + 1, kDefaultVerifyBlockSize * 5, kDefaultVerifyBlockSize,
       kDefaultVerifyBlockSize * 3},
  };
  for (const Case& c : cases)
    EXPECT_EQ(VerifiedResumeOffset(c.local, c.total, c.block), c.expected)
        << c.local << " of " << c.total << " by " << c.block;
}

// Every file size around the block edges, fed in pieces of many sizes whose
// first piece slides across the first block boundaries: each block is checked
// once, in order, and all match.
TEST(BlockDigests, PiecesAcrossBlockBoundariesCheckEveryBlockOnce) {
  for (size_t size : {1u, 63u, 64u, 65u, 127u, 128u, 129u, 300u}) {
    const std::string file = Bytes(size);
    for (size_t chunk : {1u, 7u, 63u, 64u, 65u, 150u, 1000u}) {
      for (size_t first = 1; first <= 130; first += 3) {
        BlockDigests d(size, kBlock, DigestsOf(file, kBlock));
        ASSERT_TRUE(d.usable());
        const std::vector<BlockCheck> checks = FeedAll(&d, file, 0, first, chunk);
        ASSERT_EQ(checks.size(), VerifyBlockCount(size, kBlock)) << size << " " << chunk << " " << first;
        for (size_t i = 0; i < checks.size(); ++i) {
          EXPECT_EQ(checks[i].index, i);
          EXPECT_TRUE(checks[i].matched);
        }
        EXPECT_TRUE(d.complete());
        EXPECT_EQ(d.verified_end(), size);
        EXPECT_FALSE(d.any_bad());
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
      {"good last partial block", 230, {}, 0, {true, true, true, true}, 230},
      {"resume past the bad block", 256, {0}, 128, {true, true}, 256},
      {"resume at a bad block", 256, {2}, 128, {false, true}, 128},
      {"resume at the partial last block", 230, {}, 192, {true}, 230},
  };
  for (const Case& c : cases) {
    const std::string file = Bytes(c.size);
    std::vector<Sha256Digest> expected = DigestsOf(file, kBlock);
    for (size_t i : c.corrupt) expected[i][5] ^= 1;
    BlockDigests d(c.size, kBlock, expected);
    ASSERT_TRUE(d.Start(c.start)) << c.what;
    const std::vector<BlockCheck> checks = FeedAll(&d, file, c.start, 50, 50);
    ASSERT_EQ(checks.size(), c.matches.size()) << c.what;
    for (size_t i = 0; i < checks.size(); ++i) {
      EXPECT_EQ(checks[i].index, c.start / kBlock + i) << c.what;
      EXPECT_EQ(checks[i].matched, c.matches[i]) << c.what << " block " << i;
    }
    EXPECT_EQ(d.verified_end(), c.verified_end) << c.what;
    EXPECT_EQ(d.any_bad(), c.verified_end != c.size) << c.what;
  }
}

TEST(BlockDigests, RefusesBytesBeyondTheSizeAndUnusableLists) {
  const std::string file = Bytes(100);
  const std::string longer = file + "tail of an endless answer";
  BlockDigests d(100, kBlock, DigestsOf(file, kBlock));
  std::vector<BlockCheck> checks;
  EXPECT_EQ(d.Feed(longer.data(), 60, &checks), 60u);
  EXPECT_EQ(d.Feed(longer.data() + 60, longer.size() - 60, &checks), 40u);
  EXPECT_EQ(d.Feed(longer.data() + 100, 5, &checks), 0u);
  EXPECT_EQ(checks.size(), 2u);
  EXPECT_TRUE(d.complete());
  EXPECT_EQ(d.verified_end(), 100u);

  // Starting points: block boundaries and the end only.
  for (uint64_t at : {1u, 63u, 65u, 101u}) EXPECT_FALSE(d.Start(at)) << at;
  EXPECT_EQ(d.offset(), 100u);
  EXPECT_TRUE(d.Start(64));
  EXPECT_EQ(d.verified_end(), 64u);
  EXPECT_TRUE(d.Start(100));
  EXPECT_TRUE(d.complete());

  // A zero-size file is complete at once and takes nothing.
  BlockDigests empty(0, kBlock, {});
  EXPECT_TRUE(empty.usable());
  EXPECT_TRUE(empty.complete());
  EXPECT_EQ(empty.Feed("x", 1, nullptr), 0u);

  // Digest lists of the wrong length, and no block size, check nothing.
  struct Case {
    uint64_t size, block;
    size_t digests;
  } unusable[] = {{100, kBlock, 1}, {100, kBlock, 3}, {0, kBlock, 1}, {100, 0, 2}};
  for (const Case& c : unusable) {
    BlockDigests u(c.size, c.block, std::vector<Sha256Digest>(c.digests));
    EXPECT_FALSE(u.usable());
    EXPECT_FALSE(u.complete());
    EXPECT_FALSE(u.Start(0));
    EXPECT_EQ(u.Feed(file.data(), file.size(), nullptr), 0u);
  }
}
