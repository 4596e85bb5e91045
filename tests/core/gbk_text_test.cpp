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
  EXPECT_EQ(gbk::FindAllChars("\\a\\乗\\b\xC4\\", '\\'), (std::vector<size_t>{0, 2, 5}));
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

TEST(GbkText, TellsGbkTextFromUtf8AndBrokenText) {
  using gbk::TextCoding;
  struct Case {
    const char* what;
    std::string bytes;
    TextCoding coding;
  } cases[] = {
      {"ASCII", "[setup]\r\nexefilename=main.exe\r\n", TextCoding::kGbk},
      {"empty", "", TextCoding::kGbk},
      {"GBK Chinese", "gamename=欢乐棋牌游戏\r\n", TextCoding::kGbk},  // literals are GBK
      {"GBK with a trail byte 0x5C and the euro sign", "\x81\x5C\x80", TextCoding::kGbk},
      // 中文 in UTF-8 (E4 B8 AD E6 96 87) also pairs up into GBK byte pairs.
      {"UTF-8 Chinese", "gamename=\xE4\xB8\xAD\xE6\x96\x87\r\n", TextCoding::kUtf8},
      {"UTF-8 Chinese of odd length", "\xE4\xB8\xAD", TextCoding::kUtf8},
      {"UTF-8 BOM", "\xEF\xBB\xBF[setup]\r\n", TextCoding::kUtf8WithBom},
      {"BOM alone", "\xEF\xBB\xBF", TextCoding::kUtf8WithBom},
      {"one GBK character", "name=\xBB\xB6", TextCoding::kGbk},
      {"truncated lead byte", "name=\xBB\xB6\xC0", TextCoding::kNeither},
      {"trail byte 0x7F", "\xB0\x7F", TextCoding::kNeither},
      {"0xFF", "a\xFF", TextCoding::kNeither},
      {"UTF-16 with BOM", std::string("\xFF\xFE[\0s\0", 6), TextCoding::kNeither},
      {"NUL", std::string("a\0b", 3), TextCoding::kNeither},
      {"an overlong UTF-8 form is no UTF-8: GBK", "\xC0\xAF", TextCoding::kGbk},
      {"a UTF-8 surrogate is no UTF-8: GBK", "\xED\xA0\x80", TextCoding::kGbk},
  };
  for (const Case& c : cases) EXPECT_EQ(gbk::ClassifyTextCoding(c.bytes), c.coding) << c.what;
}
