// A new release removes what the previous one installed and no longer
// ships, and nothing else.
#include "system/release_cleanup.h"

#include <gtest/gtest.h>

#include "test_seams.h"
#include "wine_links.h"

TEST(ReleaseCleanup, OnlyWhatThePreviousReleaseInstalledGoes) {
  TempFolder work;
  const std::string folder = work.File("大厅") + "\\";
  TempFolder outside;
  WriteFileBytes(outside.File("x.txt"), "not ours");
  for (const char* dir : {"", "data", "data\\old", "save", "uninstall"}) {
    CreateDirectoryA((folder + dir).c_str(), nullptr);
  }
  for (const char* file : {"main.exe", "data\\keep.bin", "data\\old\\gone.bin", "ro.txt", "save\\user.sav"}) {
    WriteFileBytes(folder + file, "x");
  }
  SetFileAttributesA((folder + "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteFileBytes(work.File("beside.txt"), "keep");
  const bool linked = MakeHostFolderLink(folder + "linked", outside.path());
  // The previous record, damaged lines included.
  WriteFileBytes(folder + "uninstall\\installed.lst",
                 "main.exe\r\ndata\\keep.bin\r\ndata\\old\\gone.bin\r\nro.txt\r\nlinked\\x.txt\r\n"
                 "..\\beside.txt\r\n\\\\?\\C:\\x\r\nmissing.txt\n");

  EXPECT_EQ(2u, ReplaceReleaseRecord(folder, {"\\main.exe", "\\DATA\\Keep.bin"}));
  EXPECT_FALSE(FileExists(folder + "data\\old\\gone.bin"));
  EXPECT_FALSE(FolderExists(folder + "data\\old"));  // left empty by the release
  EXPECT_FALSE(FileExists(folder + "ro.txt"));
  for (const std::string& kept : {folder + "main.exe", folder + "data\\keep.bin", folder + "save\\user.sav",
                                  work.File("beside.txt"), outside.File("x.txt")}) {
    EXPECT_TRUE(FileExists(kept)) << kept;
  }
  EXPECT_EQ("main.exe\r\nDATA\\Keep.bin\r\n", ReadFileBytes(folder + "uninstall\\installed.lst"));
  EXPECT_FALSE(FileExists(folder + "uninstall\\installed.lst.new"));
  if (linked) RemoveHostFolderLink(folder + "linked");

  // The first release with a record: nothing removed, the record made (and
  // its folder with it).
  const std::string fresh = work.File("fresh");
  CreateDirectoryA(fresh.c_str(), nullptr);
  WriteFileBytes(fresh + "\\a.txt", "x");
  EXPECT_EQ(0u, ReplaceReleaseRecord(fresh, {"\\b.txt"}));
  EXPECT_TRUE(FileExists(fresh + "\\a.txt"));
  EXPECT_EQ("b.txt\r\n", ReadFileBytes(fresh + "\\uninstall\\installed.lst"));
}
