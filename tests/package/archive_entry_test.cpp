#include "package/archive_entry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

uint64_t Ticks(const FILETIME& ft) {
  return (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

}  // namespace

TEST(MapZipAttributes, DosHostsUseLowBitsOthersUnixMode) {
  const uint32_t R = FILE_ATTRIBUTE_READONLY, H = FILE_ATTRIBUTE_HIDDEN, S = FILE_ATTRIBUTE_SYSTEM,
                 D = FILE_ATTRIBUTE_DIRECTORY, A = FILE_ATTRIBUTE_ARCHIVE;
  struct Case {
    uint32_t version, external, expected;
  } cases[] = {
      {0x0014, 0x20, A},                    // FAT, archive
      {0x0014, 0x27, R | H | S | A},
      {0x0014, 0x10, D},
      {0x0714, 0x01, R},                    // host 7
      {0x0B14, 0x02, H},                    // host 11 (NTFS)
      {0x0E14, 0x04, S},                    // host 14 (VFAT)
      {0x0314, 0x81A40000u, A},             // Unix 0644: owner may write
      {0x0314, 0x81240000u, R | A},         // Unix 0444: read-only
      {0x0314, 0x41ED0000u, D | A},         // Unix drwxr-xr-x
      {0x0314, 0x40000000u | 0x00800000u, D | A},
      {0x0314, 0x27, R | A},                // DOS bits ignored for Unix hosts
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MapZipAttributes(c.version, c.external), c.expected)
        << std::hex << c.version << " " << c.external;
  }
}

TEST(DecodeDosDateTime, SplitsFieldsAndRejectsImpossibleDates) {
  SYSTEMTIME st;
  // 2021-06-15 13:45:30: date (41<<9)|(6<<5)|15, time (13<<11)|(45<<5)|15.
  const uint32_t dos = (((41u << 9) | (6u << 5) | 15u) << 16) | ((13u << 11) | (45u << 5) | 15u);
  ASSERT_TRUE(DecodeDosDateTime(dos, &st));
  EXPECT_EQ(st.wYear, 2021);
  EXPECT_EQ(st.wMonth, 6);
  EXPECT_EQ(st.wDay, 15);
  EXPECT_EQ(st.wHour, 13);
  EXPECT_EQ(st.wMinute, 45);
  EXPECT_EQ(st.wSecond, 30);
  EXPECT_FALSE(DecodeDosDateTime(0, &st));                     // month 0, day 0
  EXPECT_FALSE(DecodeDosDateTime((((1u << 5) | 1u) << 16) | (24u << 11), &st));  // hour 24
}

TEST(ScanExtraTimes, FindsTheTimestampBlockAndStaysInsideTheField) {
  auto le = [](uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
    return s;
  };
  const std::string other = std::string("\x01\x00\x04\x00", 4) + "abcd";  // unrelated block first
  struct Case {
    const char* what;
    std::string extra;
    bool w, a, c;
    int32_t write, access, creation;
  } cases[] = {
      {"all three", std::string("UT\x0D\x00\x07", 5) + le(100) + le(200) + le(300), true, true, true, 100, 200, 300},
      {"write only", std::string("UT\x05\x00\x01", 5) + le(77), true, false, false, 77, 0, 0},
      {"after another block", other + std::string("UT\x05\x00\x01", 5) + le(5), true, false, false, 5, 0, 0},
      {"access and creation", std::string("UT\x09\x00\x06", 5) + le(8) + le(9), false, true, true, 0, 8, 9},
      {"negative time", std::string("UT\x05\x00\x01", 5) + le(0xFFFFFFFFu), true, false, false, -1, 0, 0},
      {"cut after the flags", std::string("UT\x0D\x00\x07", 5) + "\x01\x02", false, false, false, 0, 0, 0},
      {"cut inside the second time", std::string("UT\x0D\x00\x03", 5) + le(1) + "\x02", true, false, false, 1, 0, 0},
      {"four bytes only", std::string("UT\x01\x00", 4), false, false, false, 0, 0, 0},
      {"empty", std::string(), false, false, false, 0, 0, 0},
      {"block size past the end", std::string("\x01\x00\xFF\x00", 4) + "UTxx", false, false, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    ExtraTimes t = ScanExtraTimes(reinterpret_cast<const uint8_t*>(c.extra.data()), c.extra.size());
    EXPECT_EQ(t.has_write, c.w) << c.what;
    EXPECT_EQ(t.has_access, c.a) << c.what;
    EXPECT_EQ(t.has_creation, c.c) << c.what;
    EXPECT_EQ(t.write, c.write) << c.what;
    EXPECT_EQ(t.access, c.access) << c.what;
    EXPECT_EQ(t.creation, c.creation) << c.what;
  }
}

TEST(UnixTimeToFileTime, CountsFrom1601InHundredNanoseconds) {
  EXPECT_EQ(Ticks(UnixTimeToFileTime(0)), 116444736000000000ull);
  EXPECT_EQ(Ticks(UnixTimeToFileTime(1)), 116444736010000000ull);
  EXPECT_EQ(Ticks(UnixTimeToFileTime(-1)), 116444735990000000ull);
  EXPECT_EQ(Ticks(UnixTimeToFileTime(INT32_MAX)), (2147483647ull + 11644473600ull) * 10000000ull);
}
