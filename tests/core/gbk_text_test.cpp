#include "core/gbk_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <cstring>

TEST(GbkText, ChineseLiteralArrivesAsGbkBytes) {
  // "错误" in code page 936 is B4 ED CE F3.
  const char* s = "错误";
  ASSERT_EQ(std::strlen(s), 4u);
  EXPECT_EQ(static_cast<unsigned char>(s[0]), 0xB4);
  EXPECT_EQ(static_cast<unsigned char>(s[1]), 0xED);
  EXPECT_EQ(static_cast<unsigned char>(s[2]), 0xCE);
  EXPECT_EQ(static_cast<unsigned char>(s[3]), 0xF3);
#ifdef _WIN32
  EXPECT_EQ(GetACP(), 936u);  // the test bench runs in code page 936
#endif
}

TEST(GbkText, CutsOnWholeCharacters) {
  struct Case {
    const char* in;
    size_t max;
    const char* out;
  } cases[] = {
      {"abc", 5, "abc"},
      {"abc", 2, "ab"},
      {"a错误", 2, "a"},   // would split 错
      {"a错误", 3, "a错"},
      {"a错误", 4, "a错"},
      {"错", 1, ""},
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::string(gbk::CutToBytes(c.in, c.max)), c.out) << c.in << " " << c.max;
  }
  char buf[4];
  EXPECT_FALSE(gbk::CopyToBuffer(buf, sizeof buf, "a错误"));
  EXPECT_STREQ(buf, "a错");
  EXPECT_TRUE(gbk::CopyToBuffer(buf, sizeof buf, "xyz"));
  EXPECT_STREQ(buf, "xyz");
}

TEST(GbkText, CaseAndSearchSkipTrailBytes) {
  // 0xC4 0x41 is one double-byte character whose trail byte is 'A'.
  const std::string dbcs = "\xC4\x41" "A";
  EXPECT_EQ(gbk::ToLower(dbcs), "\xC4\x41" "a");
  EXPECT_EQ(gbk::ToUpper("-bab1-"), "-BAB1-");
  EXPECT_EQ(gbk::Find(dbcs, "A"), 2u);
  EXPECT_EQ(gbk::Find("x\\..\\y", "\\..\\"), 1u);
  EXPECT_EQ(gbk::Find("abc", "d"), std::string_view::npos);
  EXPECT_EQ(gbk::FindLastChar("a\\b\xC4\\", '\\'), 1u);  // 0xC4 0x5C is one character
  EXPECT_EQ(gbk::Trim("  C:\\Games \t"), "C:\\Games");
  EXPECT_TRUE(gbk::EqualsIgnoreCase("ETag-AbC", "etag-abc"));
  EXPECT_FALSE(gbk::EqualsIgnoreCase("abc", "abcd"));
  EXPECT_EQ(gbk::FormatCut(5, "%s-%d", "错误", 12), "错误-");
}

// 乗 盶 萛 昞 end in the byte of "\": a folder ending in one of them has no
// separator at its end.
TEST(GbkText, PathSeparatorAtTheEndIsAWholeCharacter) {
  struct Case {
    const char* path;
    bool ends;
  } cases[] = {
      {"C:\\Hall\\", true},  {"C:\\Hall/", true},   {"C:\\Hall", false},
      {"", false},             {"C:\\乗", false},      {"C:\\盶", false},
      {"C:\\萛", false},       {"C:\\昞", false},      {"C:\\乗\\", true},
      {"\x81", false},        {"a\x81\\", false},  // a lead byte swallows what follows
  };
  for (const Case& c : cases) EXPECT_EQ(gbk::EndsWithPathSeparator(c.path), c.ends) << c.path;
}
