#include "core/safe_path.h"

#include <gtest/gtest.h>

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

TEST(CheckInstallName, RefusesParentStepsDrivesRootsAndNamesWindowsCannotCreate) {
  constexpr InstallName kFits = InstallName::kFits, kLeaves = InstallName::kLeavesFolder,
                        kCannot = InstallName::kCannotCreate;
  struct Case {
    const char* path;
    InstallName verdict;
  } cases[] = {
      {"", kFits},
      {"\\x.dll", kFits},
      {"\\data\\maps\\a.map", kFits},
      {"\\data\\", kFits},
      {"b\\x.dat", kFits},
      {"a..b\\x", kFits},
      {"\\.\\x", kCannot},  // inside, but "." ends in a dot
      {"..\\x.dat", kLeaves},
      {"../x.dat", kLeaves},
      {"\\..\\x.dat", kLeaves},
      {"\\a\\..\\..\\x", kLeaves},
      {"\\a/../../x", kLeaves},
      {"\\a\\..", kLeaves},
      {"\\...\\x", kLeaves},
      {"\\.. \\x", kLeaves},
      {"\\C:\\Windows\\x.dat", kLeaves},
      {"\\x.dat:stream", kLeaves},
      {"\\\\server\\share\\x", kLeaves},
      {"\\/x", kLeaves},
      {"//x", kLeaves},
      // Device names reach the device, not a file in the folder.
      {"\\con", kLeaves},
      {"\\data\\NUL.txt", kLeaves},
      {"\\COM1", kLeaves},
      {"\\lpt9.log", kLeaves},
      {"\\aux .dat", kLeaves},
      {"\\CONOUT$", kLeaves},
      {"\\prn\\x.txt", kLeaves},
      {"\\console.txt", kFits},
      {"\\com10", kFits},
      {"\\nul_file.txt", kFits},
      {"\\data.con", kFits},
      // A trail byte 0x5C before ".." is still split byte-wise: refused, on the safe side.
      {"\\\x95\\..\\x", kLeaves},
      // Names Windows refuses fail every installation of the package.
      {"\\a?.txt", kCannot},
      {"\\a*", kCannot},
      {"\\<a>", kCannot},
      {"\\say \"hi\"", kCannot},
      {"\\a|b\\c", kCannot},
      {"\\tab\there", kCannot},
      {"\\readme.", kCannot},
      {"\\readme ", kCannot},
      {"\\data.\\x", kCannot},
      {"\\data \\x", kCannot},
      {"\\data\\x.dll/", kCannot},
      {"\\data/x.dll", kCannot},
      {"\\.hidden", kFits},
      {"\\a b.c", kFits},
      {"\\data\\\\x", kFits},
      {"\\\xB0\xA1.txt", kFits},
      {"\\\x81\x7C.txt", kFits},   // 0x81 0x7C is one character, not "|"
      {"\\x\x81", kFits},          // a lone lead byte at the end is left to Windows
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckInstallName(c.path), c.verdict) << c.path;
    EXPECT_EQ(StaysInsideFolder(c.path), c.verdict != kLeaves) << c.path;
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
