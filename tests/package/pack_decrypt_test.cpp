#include "package/pack_decrypt.h"

#include <gtest/gtest.h>

#include "message_recorder.h"
#include "package/extract_package.h"
#include "core/pack_directory.h"
#include "core/pack_key.h"
#include "core/pack_writer.h"
#include "package_test_util.h"
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "test_seams.h"

namespace {

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

TEST(PackBodyReader, ReadsAnyRangeAcrossWindowAndBlockSeams) {
  // Ciphertext in memory; reads slide across block and window boundaries,
  // forwards and backwards, for windows of one block to several.
  const std::string plain = Pattern(16 * 23, 5);
  const std::string sealed = SealPack(0, plain, kPackagePassword).substr(kPackHeaderSize);
  aes128::KeySchedule key;
  const auto raw = DerivePackKey(kPackagePassword);
  aes128::ExpandDecryptKey(raw.data(), &key);
  for (size_t window : {1u, 16u, 48u, 64u, 1024u}) {
    int raw_reads = 0;
    PackBodyReader reader(
        [&](uint64_t offset, uint8_t* dst, size_t n) {
          ++raw_reads;
          EXPECT_EQ(offset % 16, 0u);
          std::memcpy(dst, sealed.data() + offset, n);
          return true;
        },
        plain.size(), key, window);
    for (size_t length : {1u, 15u, 16u, 17u, 49u, 200u}) {
      for (size_t at = 0; at + length <= plain.size(); at += 7) {
        std::string got(length, '\0');
        ASSERT_TRUE(reader.Read(at, &got[0], length)) << window << " " << at << "+" << length;
        ASSERT_EQ(got, plain.substr(at, length)) << window << " " << at << "+" << length;
      }
      std::string back(length, '\0');
      ASSERT_TRUE(reader.Read(plain.size() - length, &back[0], length));
      ASSERT_EQ(back, plain.substr(plain.size() - length));
    }
    char byte;
    EXPECT_FALSE(reader.Read(plain.size(), &byte, 1)) << "past the body";
    EXPECT_FALSE(reader.Read(~uint64_t{0}, &byte, 1)) << "offset wraps";
    EXPECT_TRUE(reader.Read(plain.size(), &byte, 0));
  }
  PackBodyReader failing([](uint64_t, uint8_t*, size_t) { return false; }, plain.size(), key);
  char byte;
  EXPECT_FALSE(failing.Read(0, &byte, 1));
}

TEST(PackBodyReader, CostsAboutTheBytesAskedInAnyOrderAndWholeWindowsInOrder) {
  // 256 records of 250 bytes in a 64000-byte body, through a 4 KiB window.
  const size_t kRecord = 250, kCount = 256;
  const std::string plain = Pattern(kRecord * kCount, 8);
  const std::string sealed = SealPack(0, plain, kPackagePassword).substr(kPackHeaderSize);
  aes128::KeySchedule key;
  const auto raw_key = DerivePackKey(kPackagePassword);
  aes128::ExpandDecryptKey(raw_key.data(), &key);
  std::vector<size_t> in_order(kCount);
  for (size_t i = 0; i < kCount; ++i) in_order[i] = i;
  std::vector<size_t> shuffled = in_order;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(3));
  std::vector<size_t> every_other;  // forwards, skipping one record each time
  for (size_t i = 0; i < kCount; i += 2) every_other.push_back(i);
  for (size_t i = 1; i < kCount; i += 2) every_other.push_back(i);
  struct Case {
    const char* what;
    const std::vector<size_t>& order;
    size_t max_raw_bytes, max_raw_reads;
  } cases[] = {
      // Every record alone costs its blocks, at most two more than it holds.
      {"shuffled", shuffled, kCount * (kRecord + 32), kCount},
      {"every other", every_other, kCount * (kRecord + 32), kCount},
      // Straight through: the refills grow to the window and waste nothing.
      {"in order", in_order, plain.size(), plain.size() / 4096 + 10},
  };
  for (const Case& c : cases) {
    size_t raw_bytes = 0, raw_reads = 0;
    PackBodyReader reader(
        [&](uint64_t offset, uint8_t* dst, size_t n) {
          raw_bytes += n;
          ++raw_reads;
          std::memcpy(dst, sealed.data() + offset, n);
          return true;
        },
        plain.size(), key, 4096);
    for (size_t i : c.order) {
      std::string got(kRecord, '\0');
      ASSERT_TRUE(reader.Read(i * kRecord, &got[0], kRecord)) << c.what;
      ASSERT_EQ(got, plain.substr(i * kRecord, kRecord)) << c.what << " " << i;
    }
    EXPECT_LE(raw_bytes, c.max_raw_bytes) << c.what;
    EXPECT_LE(raw_reads, c.max_raw_reads) << c.what;
  }
}

class DecryptPackFileTest : public ::testing::Test {
 protected:
  std::unique_ptr<OpenPack> Run(const std::string& file_bytes) {
    recorder.Clear();
    WriteFileBytes(dir.File("p.pak"), file_bytes);
    auto pack = DecryptPackFile(dir.File("p.pak"), kPackagePassword, recorder.hwnd());
    recorder.Pump();
    return pack;
  }
  ScopedNoSleep no_sleep;
  TempFolder dir;
  MessageRecorder recorder;
};

}  // namespace

TEST_F(DecryptPackFileTest, ReadsTheDirectoryWithReadingProgress) {
  for (int entries : {1, 4, 40, 3000}) {
    FileList files;
    for (int i = 0; i < entries; ++i) files.push_back({"T\\f" + std::to_string(i), Pattern(i % 50, i)});
    const size_t before = ScopedNoSleep::Requested().size();
    auto pack = Run(BuildPackBytes(files, kPackagePassword));
    ASSERT_TRUE(pack) << entries;
    ASSERT_EQ(pack->directory.size(), files.size()) << entries;
    const std::vector<int> progress = recorder.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 25) << entries;
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << entries;
    const std::vector<DWORD> all = ScopedNoSleep::Requested();
    EXPECT_EQ(all.size() - before, progress.size() - 1) << "one 20 ms pause per change";
    // Data read back through the reader match, for the last file too.
    const auto e = pack->directory[pack->directory.size() - 1];
    std::string data(static_cast<size_t>(e.span.size), '\0');
    ASSERT_TRUE(pack->reader->Read(e.span.offset, &data[0], data.size()));
    const int i = std::stoi(std::string(e.name.substr(3)));
    EXPECT_EQ(data, Pattern(i % 50, i)) << e.name;
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
    EXPECT_FALSE(Run(c.bytes)) << c.what;
    EXPECT_TRUE(recorder.Progress().empty()) << c.what;
  }
  EXPECT_FALSE(DecryptPackFile(dir.File("missing.pak"), kPackagePassword, recorder.hwnd()));
}

TEST_F(DecryptPackFileTest, PacksWithoutAWholeTableHaveAnEmptyDirectory) {
  const std::string good = BuildPackBytes({{"top\\a.txt", "hello"}, {"top\\b.txt", "b"}}, kPackagePassword);
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"header only", SealPack(300, std::string(), kPackagePassword)},
      {"wrong key", BuildPackBytes({{"top\\a.txt", "hello"}}, "another")},
      {"cut inside the table", good.substr(0, 8 + 16 * 20)},
  };
  for (const Case& c : cases) {
    auto pack = Run(c.bytes);
    ASSERT_TRUE(pack) << c.what;
    EXPECT_TRUE(pack->directory.empty()) << c.what;
    EXPECT_EQ(recorder.Progress().back(), 25) << c.what;
  }
}
