#include "core/safe_path.h"

#include <gtest/gtest.h>

#include <string>

TEST(SanitizeMemberName, StripsDrivesRootsAndParentSteps) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"C:\\Windows\\x.dat", "Windows\\x.dat"},
      {"\\x.dat", "x.dat"},
      {"a\\..\\b\\x.dat", "b\\x.dat"},
      {"a\\..\\..\\x.dat", "..\\x.dat"},  // left for StaysInsideFolder to refuse
      {"a/../b/x.dat", "b/x.dat"},
      {"a\\../b", "b"},
      {"a/..\\b", "b"},
      {"//server/share/x", "server/share/x"},
      {"C:C:\\\\x", "x"},
      {"\\C:\\x", "x"},  // rules restart after every change
      {"game.pak", "game.pak"},
      {"", ""},
      {":", ":"},
      // 0x95 0x5C is one double-byte character: its trail byte does not start "\..\".
      {"\x95\\..\\x", "\x95\\..\\x"},
      {"\xB0\xA1\\..\\x", "x"},
  };
  for (const Case& c : cases) EXPECT_EQ(SanitizeMemberName(c.in), c.out) << c.in;
}

// One row per name, one column per rule: package paths (CheckInstallName's
// verdict; StaysInsideFolder with kInstallPath refuses exactly kLeaves), then
// kEntryPath (update-list destinations, shortcuts) and kSingleName (Start-menu
// group, shortcut and uninstall key names, on the installer's and the
// uninstaller's side alike).
TEST(NameRules, EveryCallersRuleSideBySide) {
  constexpr InstallName kFits = InstallName::kFits, kLeaves = InstallName::kLeavesFolder,
                        kCannot = InstallName::kCannotCreate;
  const std::string kTrail5C = "\x95\x5c";
  struct Case {
    std::string path;
    InstallName verdict;
    bool entry;
    bool single;
  } cases[] = {
      {"", kFits, false, false},
      {"\\", kFits, false, false},  // the folder itself
      {"\\x.dll", kFits, true, false},
      {"\\data\\maps\\a.map", kFits, true, false},
      {"\\data\\", kFits, true, false},
      {"b\\x.dat", kFits, true, false},
      {"a..b\\x", kFits, true, false},
      {"\\.\\x", kCannot, true, false},  // inside, but "." ends in a dot
      {".", kCannot, false, false},      // the folder itself: a group of that name is the whole Programs folder
      {"..\\x.dat", kLeaves, false, false},
      {"../x.dat", kLeaves, false, false},
      {"\\..\\x.dat", kLeaves, false, false},
      {"\\a\\..\\..\\x", kLeaves, false, false},
      {"\\a/../../x", kLeaves, false, false},
      {"\\a\\..", kLeaves, false, false},
      {"\\...\\x", kLeaves, false, false},
      {"\\.. \\x", kLeaves, false, false},
      {"\\C:\\Windows\\x.dat", kLeaves, false, false},
      {"\\x.dat:stream", kLeaves, false, false},
      {"\\\\server\\share\\x", kLeaves, false, false},
      {"\\/x", kLeaves, false, false},
      {"//x", kLeaves, false, false},
      // Device names reach the device, not a file in the folder.
      {"\\con", kLeaves, false, false},
      {"\\data\\NUL.txt", kLeaves, false, false},
      {"\\COM1", kLeaves, false, false},
      {"\\lpt9.log", kLeaves, false, false},
      {"\\aux .dat", kLeaves, false, false},
      {"\\CONOUT$", kLeaves, false, false},
      {"\\prn\\x.txt", kLeaves, false, false},
      {"nul", kLeaves, false, false},
      {"\\console.txt", kFits, true, false},
      {"\\com10", kFits, true, false},
      {"\\nul_file.txt", kFits, true, false},
      {"\\data.con", kFits, true, false},
      // A trail byte 0x5C separates nothing, but a climb another code page
      // would read after it is refused.
      {"\\\x95\\..\\x", kLeaves, false, false},
      {"\x95\\..", kLeaves, false, false},
      {kTrail5C + "x", kFits, true, true},
      {"\x95\\con", kLeaves, false, false},
      // Names Windows refuses fail every installation of the package.
      {"\\a?.txt", kCannot, true, false},
      {"\\a*", kCannot, true, false},
      {"a*", kCannot, true, false},
      {"\\<a>", kCannot, true, false},
      {"\\say \"hi\"", kCannot, true, false},
      {"\\a|b\\c", kCannot, true, false},
      {"\\tab\there", kCannot, true, false},
      {"tab\t", kCannot, true, false},
      {"\\readme.", kCannot, true, false},
      {"\\readme ", kCannot, true, false},
      {"trail ", kCannot, true, false},
      {"\\data.\\x", kCannot, true, false},
      {"\\data \\x", kCannot, true, false},
      {"\\data\\x.dll/", kCannot, true, false},
      {"\\data/x.dll", kCannot, true, false},
      {"\\.hidden", kFits, true, false},
      {"\\a b.c", kFits, true, false},
      {"\\data\\\\x", kFits, true, false},
      {"\\\xB0\xA1.txt", kFits, true, false},
      {"\\\x81\x7C.txt", kFits, true, false},  // 0x81 0x7C is one character, not "|"
      {"\\x\x81", kFits, true, false},         // a lone lead byte at the end is left to Windows
      {"\x95", kFits, true, false},            // ...but a single name was cut
      {" lead", kFits, true, false},
      // Download destinations from the update list.
      {"game.zip", kFits, true, true},
      {"\\game.zip", kFits, true, false},  // one leading backslash means the same file
      {"data\\game.zip", kFits, true, false},
      {"a..b.zip", kFits, true, true},
      {"\\\\server\\share\\x.zip", kLeaves, false, false},
      {"//server/share/x.zip", kLeaves, false, false},
      {"C:\\x.zip", kLeaves, false, false},
      {"a\\..\\..\\x.zip", kLeaves, false, false},
      {"a/../x.zip", kLeaves, false, false},
      {"a\\..", kLeaves, false, false},
      {"\\..\\x.zip", kLeaves, false, false},
      {".. \\x.zip", kLeaves, false, false},
      {"a\\...\\x.zip", kLeaves, false, false},
      {"a\\.\\x.zip", kCannot, true, false},
      {".hidden\\x.zip", kFits, true, false},
      {"data/game.zip", kCannot, true, false},
      {"..zip", kFits, true, true},
      {"游戏\\包.zip", kFits, true, false},
      {"/x.zip", kCannot, true, false},  // one leading separator, like "\x.zip"
      {"C:x.zip", kLeaves, false, false},
      {"a\\. .\\x.zip", kLeaves, false, false},
      // Shortcut and Start-menu group names.
      {"欢乐棋牌游戏", kFits, true, true},
      {"Hall 2", kFits, true, true},
      {"欢乐棋牌游戏\\欢乐棋牌", kFits, true, false},
      {".hidden", kFits, true, true},
      {"group\\.. ", kLeaves, false, false},
      {"group/title", kCannot, true, false},
      {"a..b", kFits, true, true},
      {"..", kLeaves, false, false},
      {"..\\x", kLeaves, false, false},
      {"group\\..\\..\\x", kLeaves, false, false},
      {"...", kLeaves, false, false},
      {"\\x", kFits, true, false},
      {"/x", kCannot, true, false},
      {"C:\\x", kLeaves, false, false},
      {"x:stream", kLeaves, false, false},
      {"..\\Startup", kLeaves, false, false},
      {"a/b", kCannot, true, false},
      {"a\\b", kFits, true, false},
      {"C:", kLeaves, false, false},
      // A product name holding a separator would make a nested group and
      // uninstall key: neither side makes or removes one.
      {"A\\B", kFits, true, false},
      {"A/B", kCannot, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(CheckInstallName(c.path), c.verdict);
    EXPECT_EQ(StaysInsideFolder(c.path), c.verdict != kLeaves);
    EXPECT_EQ(StaysInsideFolder(c.path, NameRule::kEntryPath), c.entry);
    EXPECT_EQ(StaysInsideFolder(c.path, NameRule::kSingleName), c.single);
  }
}

TEST(FindFolderOverFile, FindsAFileWhereAnotherEntryNeedsAFolder) {
  const size_t kNone = std::string_view::npos;
  struct Case {
    std::vector<std::string_view> paths;
    size_t found;
  } cases[] = {
      {{"\\a", "\\a\\b"}, 1},
      {{"\\a\\b", "\\a"}, 0},
      {{"\\x", "\\A", "\\a\\b\\c"}, 2},  // Windows ignores the case
      {{"\\a", "\\a\\"}, 1},  // a folder entry over a file
      {{"\\a\\", "\\a\\b"}, kNone},
      {{"\\a.txt", "\\a\\b", "\\ab\\c"}, kNone},
      {{"\\a", "\\a"}, kNone},  // the same file twice: the last one wins
      {{"", "\\a\\b"}, kNone},
      {{}, kNone},
      // 0x95 0x5C is one character: "\\\x95\\x" has no folder "\\\x95".
      {{"\\\x95", "\\\x95\\x"}, kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindFolderOverFile(c.paths), c.found) << (c.paths.empty() ? "" : c.paths[0]);
  }
}
