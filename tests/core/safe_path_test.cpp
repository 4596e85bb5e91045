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

TEST(StaysInsideFolder, RefusesParentStepsDrivesAndRoots) {
  struct Case {
    const char* path;
    bool inside;
  } cases[] = {
      {"", true},
      {"\\x.dll", true},
      {"\\data\\maps\\a.map", true},
      {"\\data\\", true},
      {"b\\x.dat", true},
      {"a..b\\x", true},
      {"\\.\\x", true},
      {"..\\x.dat", false},
      {"../x.dat", false},
      {"\\..\\x.dat", false},
      {"\\a\\..\\..\\x", false},
      {"\\a/../../x", false},
      {"\\a\\..", false},
      {"\\...\\x", false},
      {"\\.. \\x", false},
      {"\\C:\\Windows\\x.dat", false},
      {"\\x.dat:stream", false},
      {"\\\\server\\share\\x", false},
      {"\\/x", false},
      {"//x", false},
      // Device names reach the device, not a file in the folder.
      {"\\con", false},
      {"\\data\\NUL.txt", false},
      {"\\COM1", false},
      {"\\lpt9.log", false},
      {"\\aux .dat", false},
      {"\\CONOUT$", false},
      {"\\prn\\x.txt", false},
      {"\\console.txt", true},
      {"\\com10", true},
      {"\\nul_file.txt", true},
      {"\\data.con", true},
      // A trail byte 0x5C before ".." is still split byte-wise: refused, on the safe side.
      {"\\\x95\\..\\x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(StaysInsideFolder(c.path), c.inside) << c.path;
}
