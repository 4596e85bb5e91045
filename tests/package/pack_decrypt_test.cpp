#include "package/pack_decrypt.h"

#include <gtest/gtest.h>

#include "message_recorder.h"
#include "package/extract_package.h"
#include "package/pack_directory.h"
#include "package/pack_key.h"
#include "package/pack_writer.h"
#include "package_test_util.h"
#include <cstring>
#include "test_seams.h"

namespace {

std::vector<int> Range(int from, int to) {
  std::vector<int> v;
  for (int i = from; i <= to; ++i) v.push_back(i);
  return v;
}

}  // namespace

TEST(PackProgressShare, CountsWholeKibOrBytesForSmallBodies) {
  struct Case {
    uint64_t done, length;
    int share;
  } cases[] = {
      {0, 512, 0},       {256, 512, 50},     {496, 512, 96},  {512, 512, 100},
      {1023, 4096, 0},   {1024, 4096, 25},   {3072, 4096, 75}, {4096, 4096, 100},
      {4096, 4112, 100},  // the last block of a body just over whole KiB reaches 100
      {0, 0, 0},
      {0xFFFFFC00u, 0xFFFFFFF0u, 100},  // no overflow near 4 GiB
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PackProgressShare(c.done, c.length), c.share) << c.done << "/" << c.length;
  }
}

TEST(DecryptBodyWithProgress, ReportsTheSameSharesAsBlockByBlock) {
  // Bodies just below, at and above whole KiB: the run-wise loop must report
  // every share change that a block-by-block loop would.
  for (size_t length : {16u, 512u, 1008u, 1024u, 1040u, 3072u, 4112u, 16384u + 48u}) {
    std::vector<int> expected{25};
    for (size_t pos = 0; pos < length; pos += 16) {
      int p = 25 + PackProgressShare(pos, length) / 4;
      if (p != expected.back()) expected.push_back(p);
    }
    std::vector<int> got{25};
    std::string data(length, '\0');
    aes128::KeySchedule key;
    const auto raw = DerivePackKey("k");
    aes128::ExpandDecryptKey(raw.data(), &key);
    DecryptBodyWithProgress(key, reinterpret_cast<uint8_t*>(&data[0]), length, [&](size_t pos) {
      int p = 25 + PackProgressShare(pos, length) / 4;
      if (p != got.back()) got.push_back(p);
    });
    EXPECT_EQ(got, expected) << length;
  }
}

class DecryptPackFileTest : public ::testing::Test {
 protected:
  std::optional<PackBody> Run(const std::string& file_bytes) {
    WriteFileBytes(dir.File("p.pak"), file_bytes);
    auto body = DecryptPackFile(dir.File("p.pak"), kPackagePassword, recorder.hwnd());
    recorder.Pump();
    return body;
  }
  ScopedNoSleep no_sleep;
  TempFolder dir;
  MessageRecorder recorder;
};

TEST_F(DecryptPackFileTest, ProgressSequencesByBodySize) {
  struct Case {
    size_t body;
    std::vector<int> progress;
    size_t pauses;
  } cases[] = {
      {0, {25, 50}, 0},                     // header only: nothing read or decrypted
      {512, [] { auto v = Range(25, 50); return v; }(), 24},  // 26..49 paused, 25 and 50 not
      {4096, {25, 31, 37, 43, 50}, 3},
      {4096 + 16, {25, 31, 37, 43, 50, 50}, 4},
  };
  for (const Case& c : cases) {
    recorder.Clear();
    const size_t before = ScopedNoSleep::Requested().size();
    std::string plain = Pattern(c.body, 7);
    auto body = Run(SealPack(1234, plain, kPackagePassword));
    ASSERT_TRUE(body.has_value()) << c.body;
    EXPECT_EQ(recorder.Progress(), c.progress) << c.body;
    const std::vector<DWORD> all = ScopedNoSleep::Requested();
    std::vector<DWORD> pauses(all.begin() + before, all.end());
    EXPECT_EQ(pauses, std::vector<DWORD>(c.pauses, 20)) << c.body;
    EXPECT_EQ(body->payload_length, 1234u);
    ASSERT_EQ(body->length, c.body);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(body->data.get()), body->length), plain);
  }
}

TEST_F(DecryptPackFileTest, RejectsWhatCannotBeAPack) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"body of 20 bytes", std::string(8 + 20, '\0')},
      {"shorter than the header", std::string(5, '\0')},
      {"empty file", std::string()},
      {"body of 15 bytes", std::string(8 + 15, '\0')},
  };
  for (const Case& c : cases) {
    recorder.Clear();
    EXPECT_FALSE(Run(c.bytes).has_value()) << c.what;
    EXPECT_TRUE(recorder.Progress().empty()) << c.what;
  }
  EXPECT_FALSE(DecryptPackFile(dir.File("missing.pak"), kPackagePassword, recorder.hwnd()));
}

TEST_F(DecryptPackFileTest, EightBytePackHasAnEmptyDirectory) {
  auto body = Run(SealPack(300, std::string(), kPackagePassword));
  ASSERT_TRUE(body.has_value());
  EXPECT_TRUE(ParsePackDirectory(body->payload_length, body->data.get(), body->length).empty());
}

TEST_F(DecryptPackFileTest, WrongPasswordGivesNoDirectory) {
  const std::string pack = BuildPackBytes({{"top\\a.txt", "hello"}}, "another");
  auto body = Run(pack);
  ASSERT_TRUE(body.has_value());
  EXPECT_TRUE(ParsePackDirectory(body->payload_length, body->data.get(), body->length).empty());
}

TEST(ReadBody, StopsAtAShortSourceAndReportsEveryRead) {
  // Each case: the sizes the source hands out per call (0 = failure or end).
  struct Case {
    const char* what;
    uint32_t length;
    std::vector<uint32_t> pieces;
    uint32_t placed;
    std::vector<int> reading_progress;  // floor(share / 4) after each read
  } cases[] = {
      {"one read", 4096, {4096}, 4096, {25}},
      {"pieces across KiB boundaries", 4096, {1023, 1, 1024, 2047, 1}, 4096, {0, 6, 12, 18, 25}},
      {"source ends early", 4096, {2048, 0}, 2048, {12}},
      {"source fails at once", 4096, {0}, 0, {}},
      {"small body counts bytes", 512, {128, 384}, 512, {6, 25}},
      {"source claims more than asked", 64, {80}, 0, {}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buffer(c.length, 0xEE);
    size_t call = 0;
    std::vector<int> progress;
    uint32_t placed = ReadBody(
        [&](uint8_t* dst, uint32_t want) -> uint32_t {
          uint32_t n = call < c.pieces.size() ? c.pieces[call++] : 0;
          if (n <= want) std::memset(dst, 0x11, n);
          return n;
        },
        buffer.data(), c.length,
        [&](uint32_t total) { progress.push_back(PackProgressShare(total, c.length) / 4); });
    EXPECT_EQ(placed, c.placed) << c.what;
    EXPECT_EQ(progress, c.reading_progress) << c.what;
    for (uint32_t i = 0; i < placed; ++i) ASSERT_EQ(buffer[i], 0x11) << c.what << " at " << i;
  }
}
