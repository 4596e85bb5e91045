// A new release removes what the previous one installed and no longer
// ships, and nothing else.
#include "system/release_cleanup.h"

#include <gtest/gtest.h>

#include "test_seams.h"
#include "wine_links.h"

TEST(ReleaseCleanup, OnlyWhatThePreviousReleaseInstalledGoes) {
  TempFolder work, outside;
  WriteFileBytes(outside.File("x.txt"), "not ours");
  WriteFileBytes(work.File("beside.txt"), "not ours");
  const std::string folder = work.File("大厅") + "\\";
  for (const char* dir : {"", "data", "data\\old", "save"}) CreateDirectoryA((folder + dir).c_str(), nullptr);
  for (const char* file : {"main.exe", "data\\old\\gone.bin", "ro.txt", "save\\user.sav"}) {
    WriteFileBytes(folder + file, "x");
  }
  SetFileAttributesA((folder + "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  const bool linked = MakeHostFolderLink(folder + "linked", outside.path());
  // No record yet: nothing removed, the record (and its folder) made.
  EXPECT_EQ(0u, ReplaceReleaseRecord(folder, {"\\main.exe", "\\data\\old\\gone.bin", "\\ro.txt"}));
  EXPECT_EQ("main.exe\r\ndata\\old\\gone.bin\r\nro.txt\r\n", ReadFileBytes(folder + "uninstall\\installed.lst"));
  WriteFileBytes(folder + "uninstall\\installed.lst",
                 ReadFileBytes(folder + "uninstall\\installed.lst") + "linked\\x.txt\r\n..\\beside.txt\n");

  EXPECT_EQ(2u, ReplaceReleaseRecord(folder, {"\\MAIN.exe"}));
  EXPECT_FALSE(FolderExists(folder + "data"));  // left empty by the release
  EXPECT_FALSE(FileExists(folder + "ro.txt"));
  for (const std::string& kept :
       {folder + "main.exe", folder + "save\\user.sav", work.File("beside.txt"), outside.File("x.txt")}) {
    EXPECT_TRUE(FileExists(kept)) << kept;
  }
  EXPECT_EQ("MAIN.exe\r\n", ReadFileBytes(folder + "uninstall\\installed.lst"));
  EXPECT_FALSE(FileExists(folder + "uninstall\\installed.lst.new"));
  if (linked) RemoveHostFolderLink(folder + "linked");
}
