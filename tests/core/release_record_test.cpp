#include "core/release_record.h"

#include <gtest/gtest.h>

namespace release_record {
namespace {

TEST(ReleaseRecord, StaleAreThePreviousFilesTheNewReleaseDoesNotShip) {
  using V = std::vector<std::string>;
  const std::string kTrail5C = "\x95\x5c";  // one GBK character ending in 0x5C
  struct Case {
    V previous, current, stale;
  } cases[] = {
      {{"a.txt", "data//old/./b.bin", "main.exe"}, {"\\main.exe", "\\a.txt"}, {"data\\old\\b.bin"}},
      // Windows sees one file whatever the case of its letters and trailing dots.
      {{"Data\\A.bin", "c.txt. "}, {"\\data\\a.BIN", "\\c.txt"}, {}},
      {{"x.bin", "X.BIN", "游戏\\" + kTrail5C + "x"}, {}, {"x.bin", "游戏\\" + kTrail5C + "x"}},
      // A damaged or edited record must not aim the removal elsewhere.
      {{"..\\save.dat", "data\\..\\..\\x", "\\\\server\\share\\x", "C:\\x.dll", "data\\CON", "data\\", "a*",
        "a\tb", "x\x95"},
       {},
       {}},
      // Nor at the installer's own records.
      {{"uninstall\\uninstall.ini", "uninstall\\installed.lst", "config\\agency.ini", "WindowsSys.ini",
        "Config\\onlinesetup.ini"},
       {},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.previous));
    EXPECT_EQ(c.stale, StalePaths(c.previous, c.current));
  }
}

TEST(ReleaseRecord, WrittenAndReadBack) {
  const std::string text = FormatRecord({"\\main.exe", "\\data\\游戏.bin"});
  EXPECT_EQ("main.exe\r\ndata\\游戏.bin\r\n", text);
  EXPECT_EQ((std::vector<std::string>{"main.exe", "data\\游戏.bin"}), ParseRecord(text));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), ParseRecord("a\n\r\n\nb"));
}

}  // namespace
}  // namespace release_record
