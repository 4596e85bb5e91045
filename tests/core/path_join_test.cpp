#include "core/path_join.h"

#include <gtest/gtest.h>

TEST(JoinPath, TrimsBackslashesOnlyAtTheJoin) {
  constexpr JoinSeam kOne = JoinSeam::kOne;
  constexpr JoinSeam kFormatted = JoinSeam::kFormatted;
  struct Case {
    const char* folder;
    const char* name;
    JoinSeam seam;
    const char* out;
  } cases[] = {
      {"D:\\Game\\", "\\a.txt", kOne, "D:\\Game\\a.txt"},
      {"D:\\Game", "", kOne, "D:\\Game"},
      {"D:\\Game\\", "", kOne, "D:\\Game\\"},
      {"D:\\Game\\\\\\", "\\\\a", kOne, "D:\\Game\\a"},
      {"D:\\Game/", "/a", kOne, "D:\\Game/\\/a"},  // forward slashes are left alone
      {"", "a", kOne, "\\a"},
      {"D:\\Game", "data\\maps\\", kOne, "D:\\Game\\data\\maps\\"},
      // 0x95 0x5C is one character ending in the byte of a backslash: kept whole.
      {"D:\\\x95\\", "a", kOne, "D:\\\x95\\\\a"},
      {"D:\\\x95\\\\", "a", kOne, "D:\\\x95\\\\a"},
      // The module folder and the side file; a share keeps its leading pair.
      {"C:\\Setup\\", "a.ini", kOne, "C:\\Setup\\a.ini"},
      {"\\\\srv\\share\\", "a.ini", kOne, "\\\\srv\\share\\a.ini"},
      // The download target as resume records hold it.
      {"C:\\Game\\", "\\pkg.zip", kFormatted, "C:\\Game\\\\pkg.zip"},
      {"C:\\Game", "\\\\pkg.zip", kFormatted, "C:\\Game\\\\pkg.zip"},
      {"C:\\Game", "", kFormatted, "C:\\Game\\"},
      {"D:\\\x95\\", "a", kFormatted, "D:\\\x95\\\\a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JoinPath(c.folder, c.name, c.seam), c.out) << c.folder << " + " << c.name;
  }
}
