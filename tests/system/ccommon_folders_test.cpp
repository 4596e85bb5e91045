#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/ccommon.h"
#include "system/file_attributes.h"
#include "test_seams.h"
#include "wine_links.h"

TEST(MakeDirPath, TriesEveryPrefixEndingInASeparator) {
  using V = std::vector<std::string>;
  struct Case {
    const char* path;
    V steps;
  } cases[] = {
      {"D:\\Games\\Hall", V{"D:\\", "D:\\Games\\", "D:\\Games\\Hall\\"}},
      {"D:\\Games\\Hall\\", V{"D:\\", "D:\\Games\\", "D:\\Games\\Hall\\", "D:\\Games\\Hall\\\\"}},
      {"D:/Games/Hall", V{"D:/", "D:/Games/", "D:/Games/Hall\\"}},
      {"Hall", V{"Hall\\"}},
      {"", V{"\\"}},
      // 0x95 0x5C is one character: its trail byte is not a separator.
      {"D:\\\x95\\x", V{"D:\\", "D:\\\x95\\x\\"}},
      {"D:\\游戏\\大厅", V{"D:\\", "D:\\游戏\\", "D:\\游戏\\大厅\\"}},
  };
  for (const Case& c : cases) EXPECT_EQ(CCommon::MakeDirPathSteps(c.path), c.steps) << c.path;
}

TEST(MakeDirPath, CreatesTheWholeChain) {
  TempFolder dir;
  struct Case {
    std::string path;
    std::string check;
  } cases[] = {
      {dir.File("a\\b\\c"), dir.File("a\\b\\c")},
      {dir.File("d\\e\\"), dir.File("d\\e")},
      {dir.File("f/g/h"), dir.File("f\\g\\h")},
      {dir.File("a\\b\\c"), dir.File("a\\b\\c")},  // already there
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(CCommon::MakeDirPath(c.path.c_str()));
    EXPECT_TRUE(FolderExists(c.check)) << c.path;
  }
  EXPECT_TRUE(CCommon::MakeDirPath("Q:\\nowhere\\x"));  // every creation fails, still true
  EXPECT_TRUE(CCommon::MakeDirPath(nullptr));
}

TEST(DeleteDirectoryTree, RemovesTreesWithOrWithoutTrailingSeparator) {
  for (const char* suffix : {"", "\\"}) {
    TempFolder dir;
    const std::string root = dir.File("tree");
    CCommon::MakeDirPath((root + "\\a\\b").c_str());
    CCommon::MakeDirPath((root + "\\.git").c_str());
    WriteFileBytes(root + "\\top.txt", "x");
    WriteFileBytes(root + "\\a\\mid.txt", "x");
    WriteFileBytes(root + "\\a\\b\\deep.txt", "x");
    WriteFileBytes(root + "\\.git\\HEAD", "x");
    CCommon::DeleteDirectoryTree((root + suffix).c_str());
    EXPECT_FALSE(FolderExists(root)) << "suffix '" << suffix << "'";
    EXPECT_TRUE(FolderExists(dir.path()));
  }
  CCommon::DeleteDirectoryTree(nullptr);
  CCommon::DeleteDirectoryTree("");
}

TEST(DeleteDirectoryTree, ReadOnlyFileKeepsItsFolders) {
  TempFolder dir;
  const std::string root = dir.File("tree");
  CCommon::MakeDirPath((root + "\\a").c_str());
  CCommon::MakeDirPath((root + "\\other").c_str());
  WriteFileBytes(root + "\\a\\locked.txt", "x");
  WriteFileBytes(root + "\\other\\free.txt", "x");
  SetFileAttributesA((root + "\\a\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  CCommon::DeleteDirectoryTree(root.c_str());
  EXPECT_TRUE(FileExists(root + "\\a\\locked.txt"));
  EXPECT_TRUE(FolderExists(root));
  EXPECT_FALSE(FolderExists(root + "\\other"));
}

TEST(DeleteDirectoryTree, LinksAreNeverFollowed) {
  TempFolder outside;
  WriteFileBytes(outside.File("precious.txt"), "keep");
  CreateDirectoryA(outside.File("sub").c_str(), nullptr);
  WriteFileBytes(outside.File("sub\\also.txt"), "keep");

  TempFolder dir;
  const std::string root = dir.File("tree");
  CCommon::MakeDirPath(root.c_str());
  WriteFileBytes(root + "\\mine.txt", "x");
  if (!MakeHostFolderLink(root + "\\link", outside.path())) GTEST_SKIP() << "no folder links here";
  if (!MakeHostFolderLink(dir.File("rootlink"), outside.path())) GTEST_SKIP();
  // Wine's RemoveDirectory on such a link removes an empty target instead.
  TempFolder empty_outside;
  if (!MakeHostFolderLink(root + "\\emptylink", empty_outside.path())) GTEST_SKIP();

  CCommon::DeleteDirectoryTree(root.c_str());
  CCommon::DeleteDirectoryTree(dir.File("rootlink").c_str());  // the tree itself is a link
  CCommon::DeleteDirectoryTree((dir.File("rootlink") + "\\").c_str());
  EXPECT_FALSE(FileExists(root + "\\mine.txt"));
  EXPECT_TRUE(FileExists(outside.File("precious.txt")));
  EXPECT_TRUE(FileExists(outside.File("sub\\also.txt")));
  EXPECT_TRUE(FolderExists(empty_outside.path()));

  // Wine cannot remove a link itself; Windows removes it with RemoveDirectory.
  RemoveHostFolderLink(root + "\\link");
  RemoveHostFolderLink(root + "\\emptylink");
  RemoveHostFolderLink(dir.File("rootlink"));
}

TEST(FileAttributes, ReadOnlyIsClearedOnlyWhereTheScopeAllows) {
  TempFolder dir;
  const std::string file = dir.File("ro.txt");
  const std::string folder = dir.File("rofolder");
  WriteFileBytes(file, "x");
  CreateDirectoryA(folder.c_str(), nullptr);
  constexpr DWORD kMarks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
  struct Case {
    std::string path;
    bool marked;  // read-only and hidden before the call
    ReadOnlyScope scope;
    bool cleared;
  } cases[] = {
      {file, true, ReadOnlyScope::kFiles, true},
      {file, false, ReadOnlyScope::kFiles, false},
      {folder, true, ReadOnlyScope::kFiles, false},
      {folder, true, ReadOnlyScope::kFilesAndLinks, false},
      {folder, true, ReadOnlyScope::kFilesAndFolders, true},
      {dir.File("missing"), false, ReadOnlyScope::kFilesAndFolders, false},
  };
  for (const Case& c : cases) {
    if (c.marked) SetFileAttributesA(c.path.c_str(), kMarks);
    // Wine keeps no read-only mark on a folder: nothing to clear there.
    if (c.marked && !(GetFileAttributesA(c.path.c_str()) & FILE_ATTRIBUTE_READONLY)) continue;
    EXPECT_EQ(ClearReadOnly(c.path, c.scope), c.cleared) << c.path;
    // Only the read-only mark goes.
    if (c.marked) {
      EXPECT_EQ(GetFileAttributesA(c.path.c_str()) & kMarks,
                c.cleared ? DWORD{FILE_ATTRIBUTE_HIDDEN} : kMarks) << c.path;
    }
  }
  // What each path names; a hidden file is a file all the same.
  const std::string missing = dir.File("missing");
  EXPECT_TRUE(IsFile(file) && PathExists(file) && !IsFolder(file));
  EXPECT_TRUE(IsFolder(folder) && PathExists(folder) && !IsFile(folder));
  EXPECT_FALSE(PathExists(missing) || IsFile(missing) || IsFolder(missing));
  // A read-only file is deleted through its mark; a missing one keeps the reason.
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteFileForce(file));
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(DeleteFileForce(file));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}
