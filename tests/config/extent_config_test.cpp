// Side configuration next to the installer, with a real folder to clear.
#include "config/extent_config.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "core/gbk_text.h"
#include "system/profile_file.h"
#include "system/protected_folders.h"
#include "../system/wine_links.h"
#include "debug_trace_recorder.h"
#include "test_seams.h"

namespace {

constexpr char kSection[] = "onlinesetup_config";

// An installer folder: the installer, its side file and whatever a test adds.
class InstallerFolder {
 public:
  InstallerFolder() {
    GetCurrentDirectoryA(sizeof savedCwd, savedCwd);
    WriteFileBytes(Exe(), "MZ");
  }
  // The module folder becomes the current one; leave it so it can be removed.
  ~InstallerFolder() {
    SetModulePathForTesting("");
    SetCurrentDirectoryA(savedCwd);
  }
  std::string Exe() const { return dir.File("setup-F1-A2-B3-P4-5.exe"); }
  std::string Ini() const { return dir.File("tovrel_onlinesetup.ini"); }
  std::string Path(const std::string& rel) const { return dir.File(rel); }
  void Set(const char* key, const std::string& value) const {
    WritePrivateProfileStringA(kSection, key, value.c_str(), Ini().c_str());
  }
  void File(const std::string& rel) const { WriteFileBytes(Path(rel), "data"); }
  void Folder(const std::string& rel) const { CreateDirectoryA(Path(rel).c_str(), nullptr); }
  char savedCwd[MAX_PATH] = {};
  TempFolder dir;
};

std::vector<std::string> ToVector(const std::list<std::string>& l) { return {l.begin(), l.end()}; }

}  // namespace

TEST(ExtentConfig, SwitchesThatLeaveTheFolderAlone) {
  struct Case {
    const char* label;
    const char* enable;
    const char* del;
    bool exists;
  } cases[] = {
      {"no side file", nullptr, nullptr, false},
      {"enable 0, del_otherfile 1", "0", "1", false},
      {"enable missing", nullptr, "1", false},
      {"del_otherfile 2 counts as off", "1", "2", true},
      {"del_otherfile -1", "1", "-1", true},
      {"del_otherfile 0", "5", "0", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    InstallerFolder f;
    f.Folder("data");
    f.File("data\\a.bin");
    f.File("readme.txt");
    if (c.enable) f.Set("enable", c.enable);
    if (c.del) f.Set("del_otherfile", c.del);
    auto config = CreateExtentConfigAt(f.Ini(), f.Exe());
    EXPECT_EQ(config != nullptr, c.exists);
    EXPECT_TRUE(FileExists(f.Path("readme.txt")));
    EXPECT_TRUE(FileExists(f.Path("data\\a.bin")));
    if (config) {
      EXPECT_TRUE(config->files().empty() && config->folders().empty());
    }
  }
}

TEST(ExtentConfig, ClearsTheInstallerFolderButKeepsItsOwnFiles) {
  InstallerFolder f;
  f.Set("enable", "1");
  f.Set("del_otherfile", "1");
  f.File("readme.txt");
  SetFileAttributesA(f.Path("readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  f.Folder("data");
  f.File("data\\a.bin");
  f.Folder("data\\sub");
  f.File("data\\sub\\b.bin");
  f.File(".hidden");
  f.Folder(".cache");
  f.File(".cache\\keep.bin");
  f.Folder("data\\.git");
  f.File("data\\.git\\HEAD");

  // The installer's name compared without regard to case.
  const std::string exe_other_case = f.dir.File("SETUP-f1-a2-b3-p4-5.EXE");
  auto config = CreateExtentConfigAt(f.Ini(), exe_other_case);
  ASSERT_TRUE(config);

  EXPECT_FALSE(FileExists(f.Path("readme.txt")));  // read-only flag cleared first
  EXPECT_FALSE(FileExists(f.Path("data\\a.bin")));
  EXPECT_FALSE(FileExists(f.Path("data\\sub\\b.bin")));
  EXPECT_FALSE(FolderExists(f.Path("data\\sub")));
  EXPECT_TRUE(FolderExists(f.Path("data")));  // still held sub (and .git) at its turn
  EXPECT_TRUE(FileExists(f.Exe()));
  EXPECT_TRUE(FileExists(f.Ini()));
  EXPECT_TRUE(FileExists(f.Path(".hidden")));
  EXPECT_TRUE(FileExists(f.Path(".cache\\keep.bin")));
  EXPECT_TRUE(FileExists(f.Path("data\\.git\\HEAD")));
  EXPECT_TRUE(config->files().empty());
  EXPECT_EQ(ToVector(config->folders()), std::vector<std::string>{f.Path("data")});

  // A second pass removes what the first one left.
  config->DeleteOtherFileIfNeeded();
  EXPECT_TRUE(FolderExists(f.Path("data")));  // .git is never touched, so data stays
}

TEST(ExtentConfig, LockedFilesStayListed) {
  InstallerFolder f;
  f.Set("enable", "1");
  f.Set("del_otherfile", "1");
  f.Folder("d");
  f.File("d\\locked.bin");
  f.File("free.bin");
  HANDLE locked = CreateFileA(f.Path("d\\locked.bin").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  auto config = CreateExtentConfigAt(f.Ini(), f.Exe());
  CloseHandle(locked);
  ASSERT_TRUE(config);
  EXPECT_FALSE(FileExists(f.Path("free.bin")));
  EXPECT_TRUE(FileExists(f.Path("d\\locked.bin")));
  EXPECT_EQ(ToVector(config->files()), std::vector<std::string>{f.Path("d\\locked.bin")});
  EXPECT_EQ(ToVector(config->folders()), std::vector<std::string>{f.Path("d")});
  config->DeleteOtherFileIfNeeded();  // the lock is gone now
  EXPECT_TRUE(config->files().empty());
  EXPECT_TRUE(config->folders().empty());
  EXPECT_FALSE(FolderExists(f.Path("d")));
}

TEST(ExtentConfig, LinkedFolderIsNotEntered) {
  TempFolder outside;
  WriteFileBytes(outside.File("precious.txt"), "keep");
  InstallerFolder f;
  f.Set("enable", "1");
  f.Set("del_otherfile", "1");
  if (!MakeHostFolderLink(f.Path("linked"), outside.path())) GTEST_SKIP() << "no folder links here";
  auto config = CreateExtentConfigAt(f.Ini(), f.Exe());
  EXPECT_TRUE(FileExists(outside.File("precious.txt")));
  RemoveHostFolderLink(f.Path("linked"));
}

// Folders that are never cleared, named here independently of the product's
// list; and ordinary distribution folders, which still are.
TEST(ExtentConfig, SystemAndUserFoldersAreNeverCleared) {
  auto env = [](const char* name) {
    char buf[MAX_PATH] = {};
    GetEnvironmentVariableA(name, buf, sizeof buf);
    return std::string(buf);
  };
  char windows[MAX_PATH] = {}, system[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, sizeof windows);
  GetSystemDirectoryA(system, sizeof system);
  const std::string profile = env("USERPROFILE");
  ASSERT_FALSE(profile.empty());
  const std::string users = profile.substr(0, profile.find_last_of('\\'));
  TempFolder ordinary;
  const struct {
    std::string folder;
    bool refused;
  } cases[] = {
      {"C:\\", true}, {"d:", true}, {"E:/", true}, {"", true},
      {"\\\\server\\share", true}, {"\\\\server\\share\\", true}, {"\\\\server", true},
      {"\\\\?\\C:\\", true}, {"\\\\?\\UNC\\server\\share\\", true},
      {windows, true}, {system, true}, {env("ProgramFiles"), true},
      {env("ProgramData"), true}, {profile, true}, {users, true},
      {gbk::ToUpper(users) + "\\", true},
      {profile + "\\Desktop", true}, {profile + "\\Downloads\\", true},
      {profile + "/Documents", true}, {profile + "\\Music", true},
      {profile + "\\Pictures", true}, {profile + "\\Videos", true},
      {profile + "\\AppData", true}, {profile + "\\AppData\\Roaming", true},
      {ordinary.path(), false},
      {profile + "\\Desktop\\分销包", false},
      {profile + "\\Downloads\\Hall", false},
      {"\\\\server\\share\\dist", false},
      {"C:\\Games\\Hall\\", false},
      // The trail byte 0x5C of 乗 is no separator: "C:\乗" is no root.
      {"C:\\\x81\x5C", false},
  };
  const std::vector<std::string> guarded = ProtectedFolders();
  for (const auto& c : cases)
    EXPECT_EQ(c.refused, IsProtectedFromClearing(c.folder, guarded)) << c.folder;
}

TEST(ExtentConfig, ARefusedFolderIsTracedAndLeftAlone) {
  ScopedDebugTraceRecorder traces;
  InstallerFolder f;
  f.Set("enable", "1");
  f.Set("del_otherfile", "1");
  auto config = CreateExtentConfigAt(f.Ini(), "\\\\server\\share\\setup.exe");
  ASSERT_TRUE(config);
  EXPECT_TRUE(config->files().empty() && config->folders().empty());
  if (!traces.Works()) return;
  const std::vector<std::string> lines = traces.StartingWith("kvx-log:");
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("kvx-log: XExtentConfig::DeleteOtherFileIfNeeded : refuse to clear \\\\server\\share\\",
            lines[0]);
}

TEST(ExtentConfig, QueriesReadTheFileEachTime) {
  InstallerFolder f;
  f.Set("enable", "1");
  auto config = CreateExtentConfigAt(f.Ini(), f.Exe());
  ASSERT_TRUE(config);
  SetModulePathForTesting(f.Exe());

  struct Case {
    const char* mode;
    std::string path;
    int wantMode;
    std::string wantDir;
  } cases[] = {
      {"0", "D:\\Games\\", 0, ""},
      {"1", "D:\\Games\\", 1, f.dir.path() + "\\"},
      {"2", "D:\\Games\\", 2, "D:\\Games\\"},
      {"2", "", 2, ""},  // empty: the user's folder stays in force
      {"3", "D:\\Games\\", 0, ""},
      {"-2", "D:\\Games\\", 0, ""},
      {"x", "D:\\Games\\", 0, ""},
      {"2", std::string(200, 'p'), 2, std::string(127, 'p')},
  };
  for (const Case& c : cases) {
    f.Set("setup_path_mode", c.mode);
    f.Set("setup_path", c.path);
    EXPECT_EQ(config->GetSetupPathMode(), c.wantMode) << c.mode;
    EXPECT_EQ(config->GetSetupDir(), c.wantDir) << c.mode << " " << c.path;
  }

  EXPECT_FALSE(config->IsAutoRun());
  f.Set("autorun", "1");
  EXPECT_TRUE(config->IsAutoRun());
  f.Set("autorun", "0");
  EXPECT_FALSE(config->IsAutoRun());
  EXPECT_TRUE(config->IsEnable());
  f.Set("enable", "0");
  EXPECT_FALSE(config->IsEnable());  // seen at once; the object stays
}

TEST(ExtentConfig, FoundBesideTheInstaller) {
  InstallerFolder f;
  SetModulePathForTesting(f.Exe());
  EXPECT_FALSE(CreateExtentConfig());
  f.Set("enable", "1");
  auto config = CreateExtentConfig();
  ASSERT_TRUE(config);
  EXPECT_EQ(config->iniPath(), f.Ini());
}

TEST(ExtentConfig, TraceLinesOfQueriesAndDeletions) {
  ScopedDebugTraceRecorder traces;
  if (!traces.Works()) GTEST_SKIP() << "debug output cannot be recorded here";
  InstallerFolder f;
  f.Set("enable", "1");
  f.Set("del_otherfile", "1");
  f.Set("autorun", "1");
  f.Set("setup_path_mode", "7");
  f.Set("setup_path", "D:\\G\\");
  f.File("free.bin");
  f.Folder("d");
  f.File("d\\locked.bin");
  f.Folder("d\\e");
  HANDLE locked = CreateFileA(f.Path("d\\locked.bin").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  auto config = CreateExtentConfigAt(f.Ini(), f.Exe());
  CloseHandle(locked);
  ASSERT_TRUE(config);
  config->IsAutoRun();
  config->GetSetupPathMode();
  config->GetSetupPath();
  config->IsEnable();

  const std::string del = "kvx-log: XExtentConfig::DeleteOtherFileIfNeeded : ";
  std::vector<std::string> lines = traces.StartingWith("kvx-");
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "kvx-out: XExtentConfig::IsEnable:1-" + f.Ini());
  EXPECT_EQ(lines[1], "kvx-out: XExtentConfig::IsDelOtherFile:1");  // collecting
  EXPECT_EQ(lines[2], "kvx-out: XExtentConfig::IsDelOtherFile:1");  // deleting
  // The two files come in the order the folder listing gives them.
  const std::string locked_fail = del + "delete file fail " + f.Path("d\\locked.bin") + ", lasterror:";
  const std::string free_suc = del + "delete file suc" + f.Path("free.bin");
  const bool free_first = lines[3] == free_suc;
  EXPECT_EQ(lines[free_first ? 3 : 4], free_suc);
  EXPECT_EQ(lines[free_first ? 4 : 3].compare(0, locked_fail.size(), locked_fail), 0)
      << lines[free_first ? 4 : 3];
  EXPECT_EQ(lines[5].compare(0, (del + "delete dir fail " + f.Path("d") + ", lasterror:").size(),
                             del + "delete dir fail " + f.Path("d") + ", lasterror:"),
            0)
      << lines[5];
  EXPECT_EQ(lines[6], del + "delete dir suc" + f.Path("d\\e"));
  EXPECT_EQ(lines[7], "kvx-out: XExtentConfig::IsAutoRun:1");
  EXPECT_EQ(lines[8], "kvx-out: XExtentConfig::GetSetupPathMode:7");  // the value as read
  EXPECT_EQ(lines[9], "kvx-out: XExtentConfig::GetSetupPath:D:\\G\\");
  EXPECT_EQ(lines[10], lines[0]);
  // lasterror is the number the failed call left.
  EXPECT_EQ(lines[free_first ? 4 : 3], locked_fail + std::to_string(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(lines[5], del + "delete dir fail " + f.Path("d") + ", lasterror:" +
                          std::to_string(ERROR_DIR_NOT_EMPTY));
}
