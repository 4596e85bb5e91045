#include "package/zip_stream.h"

#include <gtest/gtest.h>

#include <cstring>

#include "package/extract_package.h"
#include "package/zip_writer.h"
#include "test_seams.h"

// What the stream refuses at the header is left to the whole-archive reader;
// what it accepts and then finds damaged must fail, never hand out bytes
// that differ from the member's.
TEST(ZipMemberStream, RefusesWhatItCannotServeAndFailsOnDamage) {
  TempFolder dir;
  std::string content;
  for (uint32_t i = 0, x = 1; i < 300000; ++i) content += static_cast<char>((x = x * 1103515245u + 12345u) >> 16);
  ZipMember m;
  m.name = "game.pak";
  m.bytes = content;
  m.password = kPackagePassword;
  std::string error;
  ASSERT_TRUE(WriteZip(dir.File("z.zip"), {m}, &error)) << error;
  const std::string zip = ReadFileBytes(dir.File("z.zip"));
  using H = ZipMemberStream::Header;
  struct Case {
    const char* what;
    size_t at;        // byte changed (npos: none)
    char to;
    size_t length;    // bytes the source has
    const char* password;
    H header;
    bool whole;       // every byte read back and the CRC holds
  } cases[] = {
      {"intact", std::string::npos, 0, zip.size(), kPackagePassword, H::kOk, true},
      {"cut inside the header", std::string::npos, 0, 20, kPackagePassword, H::kUnreadable, false},
      {"not a local header", 0, 'Q', zip.size(), kPackagePassword, H::kUnsupported, false},
      {"sizes in a data descriptor", 6, 9, zip.size(), kPackagePassword, H::kUnsupported, false},
      {"unknown method", 8, 12, zip.size(), kPackagePassword, H::kUnsupported, false},
      {"zip64 size", 25, '\xff', zip.size(), kPackagePassword, H::kUnsupported, false},
      // The check byte passes one wrong password in 256: the CRC still fails it.
      {"wrong password", std::string::npos, 0, zip.size(), "other", H::kUnsupported, false},
      {"a data byte changed", zip.size() / 2, 'x', zip.size(), kPackagePassword, H::kOk, false},
      {"cut inside the data", std::string::npos, 0, zip.size() / 2, kPackagePassword, H::kOk, false},
  };
  for (const Case& c : cases) {
    std::string bytes = zip.substr(0, c.length);
    if (c.at != std::string::npos) bytes[c.at] = c.to;
    if (c.at == 25) bytes[22] = bytes[23] = bytes[24] = '\xff';
    size_t pos = 0;
    ZipMemberStream stream(
        [&](uint8_t* dst, size_t n) {
          if (n > bytes.size() - pos) return false;
          std::memcpy(dst, bytes.data() + pos, n);
          pos += n;
          return true;
        },
        c.password);
    const H header = stream.Open();
    if (header == H::kOk && c.password != kPackagePassword) {
      EXPECT_FALSE(stream.Finish()) << c.what;
      continue;
    }
    ASSERT_EQ(header, c.header) << c.what;
    if (header != H::kOk) continue;
    std::string out(content.size(), '\0');
    const bool read = stream.Read(reinterpret_cast<uint8_t*>(&out[0]), out.size());
    EXPECT_EQ(read && stream.Finish(), c.whole) << c.what;
    if (c.whole) {
      EXPECT_TRUE(out == content) << c.what;
    }
  }
}
