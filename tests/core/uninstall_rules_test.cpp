#include "core/uninstall_rules.h"

#include <gtest/gtest.h>

namespace uninstall {
namespace {

TEST(UninstallCommandLine, ReadsOptions) {
  struct Case {
    const char* line;
    bool ok;
    const char* ini;
    bool silent;
  } cases[] = {
      // The form the installer registers.
      {"\"C:\\Hall\\uninstall\\uninst.exe\" \"/U:C:\\Hall\\uninstall\\uninstall.ini\"", true,
       "C:\\Hall\\uninstall\\uninstall.ini", false},
      {"uninst.exe /u:C:\\A\\uninstall\\uninstall.ini /s", true, "C:\\A\\uninstall\\uninstall.ini", true},
      {"x.exe \"/U:C:\\My Games\\uninstall\\uninstall.ini\" /S", true,
       "C:\\My Games\\uninstall\\uninstall.ini", true},
      // Blanks inside the quotes stay; blanks around the value go.
      {"x.exe \"/U:  C:\\a b\\uninstall\\u.ini \"", true, "C:\\a b\\uninstall\\u.ini", false},
      // The Start-menu shortcut: no arguments, the data file beside the program.
      {"\"C:\\My Games\\uninstall\\uninst.exe\"", true, "", false},
      {"x.exe /S", true, "", true},
      {"x.exe /U:", false, "", false},
      {"x.exe \"/U:  \" /S", false, "", false},
      // The program's own path is never taken for an option.
      {"/U:C:\\evil.ini", true, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Options o;
    ASSERT_EQ(c.ok, ParseCommandLine(c.line, &o));
    if (!c.ok) continue;
    EXPECT_EQ(c.ini, o.ini_path);
    EXPECT_EQ(c.silent, o.silent);
  }
  EXPECT_EQ("C:\\My Games\\uninstall\\uninstall.ini", DataFileBeside("C:\\My Games\\uninstall\\uninst.exe"));
  EXPECT_EQ("C:\\uninstall.ini", DataFileBeside("C:/uninst.exe"));
  EXPECT_EQ("", DataFileBeside("uninst.exe"));
  EXPECT_EQ("", DataFileBeside(""));
}

TEST(UninstallPaths, NormalizeAndParent) {
  EXPECT_EQ("C:\\Hall\\", NormalizeFolder("C:\\Hall"));
  EXPECT_EQ("C:\\Hall\\", NormalizeFolder("C:/Hall//"));
  EXPECT_EQ("C:\\a\\b\\", NormalizeFolder("C:\\\\a\\\\\\b"));
  EXPECT_EQ("", NormalizeFolder(""));
  // 0x5C as the trail byte of a double-byte character is not a separator.
  const std::string kTrail5C = "\x95\x5c";  // one GBK character ending in 0x5C
  EXPECT_EQ("C:\\" + kTrail5C + "\\", NormalizeFolder("C:\\" + kTrail5C));
  EXPECT_EQ("C:\\" + kTrail5C + "\\", ParentFolder("C:\\" + kTrail5C + "\\x.ini"));
  EXPECT_EQ("C:\\", ParentFolder("C:\\" + kTrail5C));
  EXPECT_EQ("C:\\a\\", ParentFolder("C:/a/x.ini"));
  EXPECT_EQ("", ParentFolder("x.ini"));

  EXPECT_TRUE(IsInsideFolder("C:\\Hall\\uninstall\\uninst.exe", "c:\\hall"));
  EXPECT_TRUE(IsInsideFolder("C:\\Hall", "C:\\Hall\\"));
  EXPECT_FALSE(IsInsideFolder("C:\\Hall2\\x.exe", "C:\\Hall"));
  EXPECT_FALSE(IsInsideFolder("C:\\x.exe", ""));

  // The programs to end before the folder goes: whole components only, never
  // this uninstaller's own program.
  struct Running {
    const char* program;
    bool end;
  } running[] = {
      {"C:\\Game\\main.exe", true},
      {"c:\\GAME\\bin\\helper.exe", true},
      {"C:\\Game2\\main.exe", false},
      {"C:\\Gam\\main.exe", false},
      {"C:\\Game\\uninstall\\uninst.exe", false},
      {"", false},
  };
  for (const Running& r : running) {
    EXPECT_EQ(r.end, MustEndBeforeRemoving(r.program, "C:\\Game\\", "C:\\game\\uninstall\\UNINST.exe")) << r.program;
  }
  EXPECT_TRUE(MustEndBeforeRemoving("C:\\Game\\uninstall\\uninst.exe", "C:\\Game", ""));
}

TEST(UninstallFolder, OnlyTheFolderHoldingTheDataFile) {
  const std::vector<std::string> kProtected = {
      "C:\\windows", "C:\\Program Files\\", "C:\\users\\me", "C:\\users\\me\\Desktop",
      "C:\\users\\me\\Temp\\"};
  struct Case {
    const char* ini;
    const char* setupdir;
    FolderVerdict verdict;
    const char* folder;
  } cases[] = {
      {"C:\\DemoHall\\uninstall\\uninstall.ini", "C:\\DemoHall\\", FolderVerdict::kOk, "C:\\DemoHall\\"},
      {"c:\\demohall\\UNINSTALL\\uninstall.ini", "C:\\DemoHall", FolderVerdict::kOk, "C:\\DemoHall\\"},
      {"C:\\Program Files\\Hall\\uninstall\\uninstall.ini", "C:\\Program Files\\Hall\\", FolderVerdict::kOk,
       "C:\\Program Files\\Hall\\"},
      {"C:\\users\\me\\Desktop\\Hall\\uninstall\\u.ini", "C:\\users\\me\\Desktop\\Hall\\", FolderVerdict::kOk,
       "C:\\users\\me\\Desktop\\Hall\\"},
      // A tampered or damaged data file must not aim the removal elsewhere.
      {"C:\\DemoHall\\uninstall\\uninstall.ini", "C:\\", FolderVerdict::kDriveRoot, ""},
      {"C:\\uninstall\\uninstall.ini", "C:\\", FolderVerdict::kDriveRoot, ""},
      {"C:\\DemoHall\\uninstall\\uninstall.ini", "", FolderVerdict::kNotAbsolute, ""},
      {"C:\\DemoHall\\uninstall\\uninstall.ini", "DemoHall\\", FolderVerdict::kNotAbsolute, ""},
      {"C:\\DemoHall\\uninstall\\uninstall.ini", "\\\\server\\share\\", FolderVerdict::kNotAbsolute, ""},
      {"C:\\DemoHall\\uninstall\\uninstall.ini", "C:\\DemoHall\\..\\", FolderVerdict::kNotAbsolute, ""},
      {"C:\\DemoHall\\uninstall\\uninstall.ini", "C:\\Windows\\", FolderVerdict::kMismatch, ""},
      {"C:\\DemoHall\\uninstall\\uninstall.ini", "C:\\DemoHall\\sub\\", FolderVerdict::kMismatch, ""},
      {"C:\\DemoHall\\uninstall.ini", "C:\\DemoHall\\", FolderVerdict::kIniMisplaced, ""},
      {"uninstall.ini", "C:\\DemoHall\\", FolderVerdict::kIniMisplaced, ""},
      {"C:\\DemoHall\\uninstaller\\uninstall.ini", "C:\\DemoHall\\", FolderVerdict::kIniMisplaced, ""},
      // System and user folders, and folders that contain them.
      {"C:\\windows\\uninstall\\uninstall.ini", "C:\\Windows\\", FolderVerdict::kProtected, ""},
      {"C:\\Program Files\\uninstall\\u.ini", "C:\\Program Files", FolderVerdict::kProtected, ""},
      {"C:\\users\\uninstall\\u.ini", "C:\\users\\", FolderVerdict::kProtected, ""},
      {"C:\\users\\me\\uninstall\\u.ini", "C:\\users\\me\\", FolderVerdict::kProtected, ""},
      {"C:\\users\\me\\Desktop\\uninstall\\u.ini", "C:\\users\\me\\Desktop\\", FolderVerdict::kProtected, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ini) + " | " + c.setupdir);
    std::string folder = "untouched";
    EXPECT_EQ(c.verdict, CheckInstallFolder(c.ini, c.setupdir, kProtected, &folder));
    EXPECT_EQ(c.verdict == FolderVerdict::kOk ? c.folder : "untouched", folder);
  }
}

TEST(UninstallEntry, OnlyThisCopysEntryIsRemoved) {
  const char kIni[] = "C:\\DemoHall\\uninstall\\uninstall.ini";
  EXPECT_TRUE(EntryBelongsTo("\"C:\\DemoHall\\uninstall\\uninst.exe\" \"/U:C:\\DemoHall\\uninstall\\uninstall.ini\"", kIni));
  EXPECT_TRUE(EntryBelongsTo("\"C:\\x\\uninst.exe\" \"/U:c:\\demohall\\UNINSTALL\\uninstall.ini\"", kIni));
  EXPECT_TRUE(EntryBelongsTo("", kIni));
  EXPECT_TRUE(EntryBelongsTo("   ", kIni));
  // A later installation of the same game elsewhere keeps its entry.
  EXPECT_FALSE(EntryBelongsTo("\"D:\\Hall\\uninstall\\uninst.exe\" \"/U:D:\\Hall\\uninstall\\uninstall.ini\"", kIni));
  // An entry without a data file argument names no data file.
  EXPECT_FALSE(EntryBelongsTo("\"C:\\DemoHall\\uninstall\\uninst.exe\"", kIni));
}

}  // namespace
}  // namespace uninstall
