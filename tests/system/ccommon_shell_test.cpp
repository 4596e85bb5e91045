// Shortcuts, the uninstall entry and the administrator check against what
// Wine provides in the test prefix. The user's desktop and Start-menu
// programs folders are pointed at temporary folders for each test. File
// names are ASCII so the tests do not depend on the host's locale.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "system/ccommon.h"
#include "../config/debug_trace_recorder.h"
#include "test_seams.h"

namespace {

constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Points one user shell folder somewhere else while alive.
class RedirectedShellFolder {
 public:
  RedirectedShellFolder(const char* value, const std::string& path) : value_(value) {
    HKEY key;
    RegCreateKeyA(HKEY_CURRENT_USER, kShellFolders, &key);
    char old[1024] = {};
    DWORD size = sizeof old - 1;
    had_ = RegQueryValueExA(key, value, nullptr, &type_, reinterpret_cast<BYTE*>(old), &size) ==
           ERROR_SUCCESS;
    old_.assign(old);
    RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);
  }
  ~RedirectedShellFolder() {
    HKEY key;
    RegCreateKeyA(HKEY_CURRENT_USER, kShellFolders, &key);
    if (had_) {
      RegSetValueExA(key, value_, 0, type_, reinterpret_cast<const BYTE*>(old_.c_str()),
                     static_cast<DWORD>(old_.size() + 1));
    } else {
      RegDeleteValueA(key, value_);
    }
    RegCloseKey(key);
  }

 private:
  const char* value_;
  bool had_ = false;
  DWORD type_ = REG_EXPAND_SZ;
  std::string old_;
};

class ShellTest : public ::testing::Test {
 protected:
  ShellTest() : desktopRedirect("Desktop", desktop.path()), programsRedirect("Programs", programs.path()) {}
  void SetUp() override {
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, CSIDL_DESKTOPDIRECTORY, FALSE);
    if (std::string(path) != desktop.path()) GTEST_SKIP() << "shell folders cannot be redirected: " << path;
  }
  TempFolder desktop, programs;
  RedirectedShellFolder desktopRedirect, programsRedirect;
};

struct LinkInfo {
  bool loaded = false;
  std::string target, workingDir, arguments;
};

LinkInfo ReadLink(const std::string& path) {
  LinkInfo info;
  CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      wchar_t wide[MAX_PATH] = {};
      MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
      if (SUCCEEDED(file->Load(wide, STGM_READ))) {
        char buf[MAX_PATH] = {};
        info.loaded = true;
        link->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH);
        info.target = buf;
        buf[0] = '\0';
        link->GetWorkingDirectory(buf, MAX_PATH);
        info.workingDir = buf;
        buf[0] = '\0';
        link->GetArguments(buf, MAX_PATH);
        info.arguments = buf;
      }
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return info;
}

}  // namespace

TEST_F(ShellTest, ShortcutsLandInTheirFoldersWithTargetAndWorkingFolder) {
  TempFolder game;
  const std::string target = game.File("main.exe");
  WriteFileBytes(target, "MZ");
  std::string lower = target;
  lower[0] = static_cast<char>(tolower(static_cast<unsigned char>(lower[0])));

  struct Case {
    const char* name;
    int kind;
    std::string folder;
  } cases[] = {
      {"Happy", 16, desktop.path()},
      {"other kind", 25, desktop.path()},  // anything but 2 means the desktop
      {"Happy Game\\Happy", 2, programs.path()},
  };
  ASSERT_TRUE(CCommon::CreateShortcut("Happy Game", target.c_str(), 2, true));
  EXPECT_TRUE(FolderExists(programs.File("Happy Game")));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(CCommon::CreateShortcut(c.name, lower.c_str(), c.kind, false));
    LinkInfo info = ReadLink(c.folder + "\\" + c.name + ".lnk");
    ASSERT_TRUE(info.loaded);
    EXPECT_TRUE(_stricmp(info.target.c_str(), target.c_str()) == 0) << info.target;
    EXPECT_EQ(info.workingDir, game.path());  // first letter upper-cased, cut at the last '\'
    EXPECT_EQ(info.arguments, "");
  }
  // A group that does not exist is not made for a link.
  EXPECT_FALSE(CCommon::CreateShortcut("nogroup\\x", target.c_str(), 2, false));

  CCommon::DelShortcutEx("Happy", CSIDL_DESKTOPDIRECTORY, false);
  EXPECT_FALSE(FileExists(desktop.File("Happy.lnk")));
  EXPECT_TRUE(FileExists(desktop.File("other kind.lnk")));
  CCommon::DelShortcutEx("absent", CSIDL_DESKTOPDIRECTORY, false);  // nothing to delete: no failure
  CCommon::DelShortcutEx("Happy Game", CSIDL_PROGRAMS, true);
  EXPECT_FALSE(FolderExists(programs.File("Happy Game")));
  EXPECT_TRUE(FolderExists(programs.path()));
}

TEST_F(ShellTest, NamesThatLeaveTheSpecialFolderAreRefused) {
  WriteFileBytes(programs.File("keep.lnk"), "x");
  CreateDirectoryA(programs.File("group").c_str(), nullptr);
  WriteFileBytes(desktop.File("sibling.lnk"), "x");
  for (const char* name : {"", ".", "..", "group\\..", "..\\..\\x"}) {
    SCOPED_TRACE(name);
    CCommon::DelShortcutEx(name, CSIDL_PROGRAMS, true);
    EXPECT_TRUE(FileExists(programs.File("keep.lnk")));
    EXPECT_FALSE(CCommon::CreateShortcut(name, "C:\\x.exe", 2, true));
    EXPECT_FALSE(CCommon::CreateShortcut(name, "C:\\x.exe", 16, false));
  }
  CCommon::DelShortcutEx(nullptr, CSIDL_PROGRAMS, true);
  EXPECT_TRUE(FileExists(programs.File("keep.lnk")));
  EXPECT_TRUE(FileExists(desktop.File("sibling.lnk")));
}

TEST_F(ShellTest, ShortcutDeletionIsTraced) {
  ScopedDebugTraceRecorder traces;
  if (!traces.Works()) GTEST_SKIP() << "debug output cannot be recorded here";
  WriteFileBytes(desktop.File("Happy.lnk"), "x");
  CCommon::DelShortcutEx("Happy", CSIDL_DESKTOPDIRECTORY, false);
  CCommon::DelShortcutEx("Happy", CSIDL_DESKTOPDIRECTORY, false);
  CreateDirectoryA(programs.File("grp").c_str(), nullptr);
  CCommon::DelShortcutEx("grp", CSIDL_PROGRAMS, true);  // a folder removal is not traced
  const std::string head = "CCommon::DelShortcutEx - iid(16):iDelRet = ";
  const std::string tail = ", dir = " + desktop.File("Happy.lnk");
  std::vector<std::string> lines = traces.StartingWith("CCommon::");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].compare(0, head.size() + 1, head + "1"), 0) << lines[0];
  EXPECT_EQ(lines[0].substr(lines[0].size() - tail.size()), tail) << lines[0];
  EXPECT_EQ(lines[1], head + "0, lasterror = " + std::to_string(ERROR_FILE_NOT_FOUND) + tail);
  EXPECT_FALSE(FolderExists(programs.File("grp")));
}

namespace {

constexpr char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\测试棋牌游戏";

struct RegValue {
  bool present = false;
  DWORD type = 0;
  DWORD size = 0;
  std::string text;
  DWORD number = 0;
};

RegValue ReadValue(const char* name, HKEY root = HKEY_LOCAL_MACHINE) {
  RegValue v;
  HKEY key;
  if (RegOpenKeyExA(root, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return v;
  char buf[1024] = {};
  v.size = sizeof buf;
  v.present = RegQueryValueExA(key, name, nullptr, &v.type, reinterpret_cast<BYTE*>(buf), &v.size) ==
              ERROR_SUCCESS;
  if (v.type == REG_DWORD) {
    memcpy(&v.number, buf, sizeof v.number);
  } else {
    v.text = buf;
  }
  RegCloseKey(key);
  return v;
}

bool KeyExists() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

struct UninstallKeyCleaner {
  UninstallKeyCleaner() { Clean(); }
  ~UninstallKeyCleaner() { Clean(); }
  static void Clean() {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kUninstallKey);
  }
};

// While alive, HKEY_LOCAL_MACHINE refuses new keys, as it does for a user
// without administrator rights: it stands for a volatile key, below which no
// lasting key can be made.
struct RefusedMachineKeys {
  RefusedMachineKeys() {
    RegCreateKeyExA(HKEY_CURRENT_USER, kStandIn, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                    &stand_in, nullptr);
    works = stand_in && RegOverridePredefKey(HKEY_LOCAL_MACHINE, stand_in) == ERROR_SUCCESS;
  }
  ~RefusedMachineKeys() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(stand_in);
    RegDeleteKeyA(HKEY_CURRENT_USER, kStandIn);
  }
  static constexpr char kStandIn[] = "Software\\OnlineSetupTestRefusedMachine";
  HKEY stand_in = nullptr;
  bool works = false;
};

}  // namespace

TEST(UninstallEntry, WrittenWithTypesAndLengths) {
  UninstallKeyCleaner cleaner;
  const char* name = "测试棋牌游戏";
  CCommon::RegisterUninstall(name, name, "出版者", "联系", "C:\\G\\uninstall\\un.exe",
                             "C:\\G\\uninstall\\uninstall.ini");
  struct Case {
    const char* value;
    std::string text;
  } texts[] = {
      {"DisplayName", name},
      {"UninstallString", "\"C:\\G\\uninstall\\un.exe\" \"/U:C:\\G\\uninstall\\uninstall.ini\""},
      {"Publisher", "出版者"},
      {"Contact", "联系"},
      {"DisplayIcon", "\"C:\\G\\uninstall\\un.exe\""},
  };
  for (const Case& c : texts) {
    RegValue v = ReadValue(c.value);
    ASSERT_TRUE(v.present) << c.value;
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_EXPAND_SZ)) << c.value;
    EXPECT_EQ(v.text, c.text) << c.value;
    EXPECT_EQ(v.size, c.text.size() + 1) << c.value;
  }
  for (const char* flag : {"NoModify", "NoRepair"}) {
    RegValue v = ReadValue(flag);
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD)) << flag;
    EXPECT_EQ(v.size, 4u);
    EXPECT_EQ(v.number, 1u);
  }

  // Registering again (an existing key) without an argument: the command is the quoted path.
  CCommon::RegisterUninstall(name, name, "出版者", "联系", "C:\\G\\un2.exe", nullptr);
  EXPECT_EQ(ReadValue("UninstallString").text, "\"C:\\G\\un2.exe\"");
  EXPECT_EQ(ReadValue("UninstallString").text, ReadValue("DisplayIcon").text);
}

TEST(UninstallEntry, NothingWrittenWhenAPieceIsMissing) {
  UninstallKeyCleaner cleaner;
  const char* n = "测试棋牌游戏";
  struct Case {
    const char *key, *display, *publisher, *contact, *path;
  } cases[] = {
      {n, nullptr, "p", "c", "u"}, {n, n, nullptr, "c", "u"}, {n, n, "p", nullptr, "u"},
      {n, n, "p", "c", nullptr},
  };
  for (const Case& c : cases) {
    CCommon::RegisterUninstall(c.key, c.display, c.publisher, c.contact, c.path, "arg");
    EXPECT_FALSE(KeyExists());
  }
  // An empty key name would put the values on the Uninstall key itself.
  CCommon::RegisterUninstall("", n, "p", "c", "u", nullptr);
  HKEY parent;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                          0, KEY_READ, &parent),
            ERROR_SUCCESS);
  EXPECT_NE(RegQueryValueExA(parent, "DisplayName", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  // A nested key (product name "A\B") is listed by nobody and the uninstaller refuses it.
  CCommon::RegisterUninstall("测试\\棋牌", n, "p", "c", "u", nullptr);
  HKEY nested;
  EXPECT_NE(RegOpenKeyExA(parent, "测试", 0, KEY_READ, &nested), ERROR_SUCCESS);
  RegCloseKey(parent);
}

TEST(UninstallEntry, EmptyTextsAreWrittenAsGiven) {
  // A description without "Publisher" still gets an uninstall entry.
  UninstallKeyCleaner cleaner;
  const char* n = "测试棋牌游戏";
  CCommon::RegisterUninstall(n, n, "", "", "C:\\G\\un.exe", nullptr);
  ASSERT_TRUE(KeyExists());
  for (const char* value : {"Publisher", "Contact"}) {
    RegValue v = ReadValue(value);
    EXPECT_TRUE(v.present) << value;
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_EXPAND_SZ)) << value;
    EXPECT_EQ(v.text, "") << value;
    EXPECT_EQ(v.size, 1u) << value;
  }
  EXPECT_EQ(ReadValue("UninstallString").text, "\"C:\\G\\un.exe\"");
}

TEST(UninstallEntry, TheUsersListTakesItWhenTheMachinesRefuses) {
  UninstallKeyCleaner cleaner;
  const char* n = "测试棋牌游戏";
  const std::string mine = "\"C:\\G\\un.exe\" \"/U:C:\\G\\uninstall\\uninstall.ini\"";
  const std::string other = "\"D:\\G\\un.exe\" \"/U:D:\\G\\uninstall\\uninstall.ini\"";
  struct Case {
    bool refused;
    std::string user_before, machine_after, user_after;  // "UninstallString"s; empty: no entry
  } cases[] = {
      {true, "", "", mine},
      // With the rights again, this copy's entry in the user's list goes (the
      // game would be listed twice); another copy's stays.
      {false, mine, mine, ""},
      {false, other, mine, other},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user_before);
    UninstallKeyCleaner::Clean();
    HKEY key;
    if (!c.user_before.empty() && RegCreateKeyA(HKEY_CURRENT_USER, kUninstallKey, &key) == ERROR_SUCCESS) {
      RegSetValueExA(key, "UninstallString", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(c.user_before.c_str()),
                     static_cast<DWORD>(c.user_before.size() + 1));
      RegCloseKey(key);
    }
    {
      std::optional<RefusedMachineKeys> refused;
      if (c.refused && !refused.emplace().works) GTEST_SKIP() << "HKEY_LOCAL_MACHINE cannot be redirected";
      CCommon::RegisterUninstall(n, n, "出版者", "联系", "C:\\G\\un.exe", "C:\\G\\uninstall\\uninstall.ini");
    }
    EXPECT_EQ(ReadValue("UninstallString").text, c.machine_after);
    EXPECT_EQ(ReadValue("UninstallString", HKEY_CURRENT_USER).text, c.user_after);
    EXPECT_EQ(ReadValue("NoRepair", c.refused ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE).number, 1u);
  }
}

TEST(AdminCheck, WineUserIsInTheAdministratorsGroup) {
  // Wine's token lists the built-in Administrators group for its user.
  EXPECT_TRUE(CCommon::IsAdminUser());
}
