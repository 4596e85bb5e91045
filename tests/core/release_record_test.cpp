#include "core/release_record.h"

#include <gtest/gtest.h>

namespace release_record {
namespace {

TEST(ReleaseRecord, PathsAreCleanedOrRefused) {
  const std::string kTrail5C = "\x95\x5c";  // one GBK character ending in 0x5C
  struct Case {
    std::string path, clean;  // clean empty: never removed
  } cases[] = {
      {"\\data\\a.map", "data\\a.map"},
      {"data//maps/./a.map", "data\\maps\\a.map"},
      {"Config\\readme.txt. ", "Config\\readme.txt"},  // as Windows resolves it
      {"游戏\\" + kTrail5C + "x.dat", "游戏\\" + kTrail5C + "x.dat"},
      // A damaged or edited record must not aim the removal elsewhere.
      {"..\\outside.txt", ""},
      {"data\\..\\..\\x", ""},
      {"\\\\server\\share\\x", ""},
      {"C:\\Windows\\x.dll", ""},
      {"data\\CON", ""},
      {"data\\", ""},  // a folder, not a file
      {"", ""},
      {"a*.txt", ""},
      {"a\tb", ""},
      {"x\x95", ""},  // a cut character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.clean, CleanPath(c.path));
  }
}

TEST(ReleaseRecord, StaleAreThePreviousFilesTheNewReleaseDoesNotShip) {
  using V = std::vector<std::string>;
  struct Case {
    V previous, current, stale;
  } cases[] = {
      {{"a.txt", "data\\old.bin", "main.exe"}, {"\\main.exe", "\\a.txt"}, {"data\\old.bin"}},
      // Windows sees one file whatever the case of its letters.
      {{"Data\\A.bin"}, {"\\data\\a.BIN"}, {}},
      {{"x.bin", "X.BIN", "x.bin"}, {}, {"x.bin"}},
      // Never the installer's own records, never a path that leaves the folder.
      {{"uninstall\\uninstall.ini", "uninstall\\installed.lst", "config\\agency.ini", "WindowsSys.ini",
        "Config\\onlinesetup.ini", "..\\save.dat"},
       {},
       {}},
      {{}, {"\\a.txt"}, {}},  // the first release with a record removes nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.previous));
    EXPECT_EQ(c.stale, StalePaths(c.previous, c.current));
  }
}

TEST(ReleaseRecord, WrittenAndReadBack) {
  const std::vector<std::string> paths = {"\\main.exe", "\\data\\游戏.bin"};
  const std::string text = FormatRecord(paths);
  EXPECT_EQ("main.exe\r\ndata\\游戏.bin\r\n", text);
  EXPECT_EQ((std::vector<std::string>{"main.exe", "data\\游戏.bin"}), ParseRecord(text));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), ParseRecord("a\n\r\n\nb"));
  EXPECT_TRUE(ParseRecord("").empty());
}

}  // namespace
}  // namespace release_record
