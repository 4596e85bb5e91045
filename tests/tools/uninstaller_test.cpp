// The uninstaller's work on the machine: the programs it ends, the entries
// and the files it removes, and what it must leave alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../system/wine_links.h"
#include "system/ccommon.h"
#include "test_seams.h"
#include "uninstall_actions.h"

namespace {

std::string DemoClient() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string dir(self);
  dir = dir.substr(0, dir.rfind('\\'));
  return ReadFileBytes(dir + "\\..\\tools\\demo_client\\standard\\main.exe");
}

struct Started {
  std::string program;
  HANDLE process = nullptr;
};

Started Start(const std::string& program, WORD show, const std::string& cwd) {
  Started s{program, nullptr};
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = show;
  PROCESS_INFORMATION pi = {};
  std::string command = "\"" + program + "\"";
  if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(), &si, &pi)) {
    CloseHandle(pi.hThread);
    WaitForInputIdle(pi.hProcess, 20000);
    s.process = pi.hProcess;
  }
  return s;
}

}  // namespace

TEST(UninstallerPrograms, EveryProgramInsideTheFolderEndsAndNothingElse) {
  const std::string client = DemoClient();
  ASSERT_FALSE(client.empty());
  TempFolder work;
  const std::string game = work.File("Game") + "\\";
  for (const std::string& dir : {game, game + "bin", game + "uninstall", work.File("Game2")}) {
    CreateDirectoryA(dir.c_str(), nullptr);
  }
  struct Case {
    std::string program;
    WORD show;
    bool ends, asked;  // asked: its window got WM_CLOSE (logged "closed")
  } cases[] = {
      {game + "main.exe", SW_SHOW, true, true},
      {game + "bin\\starting.exe", SW_HIDE, true, false},  // no window yet: ended
      {work.File("Game2\\main.exe"), SW_SHOW, false, false},  // C:\Game2 is not inside C:\Game
      {game + "uninstall\\uninst.exe", SW_SHOW, false, false},  // the uninstaller's own program
  };
  std::vector<Started> started;
  for (const Case& c : cases) {
    WriteFileBytes(c.program, client);
    started.push_back(Start(c.program, c.show, work.path()));
    ASSERT_TRUE(started.back().process) << c.program;
  }
  ScopedNoSleep no_sleep;  // the grace period for a program that does not close
  EXPECT_TRUE(uninstall::CloseProgramsInside(game, game + "uninstall\\uninst.exe").empty());
  for (size_t i = 0; i < started.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.program);
    EXPECT_EQ(c.ends, WaitForSingleObject(started[i].process, c.ends ? 10000 : 0) == WAIT_OBJECT_0);
    const std::string log = ReadFileBytes(c.program.substr(0, c.program.rfind('\\')) + "\\client.log");
    EXPECT_EQ(c.asked, log.find("closed") != std::string::npos) << log;
    TerminateProcess(started[i].process, 0);
    WaitForSingleObject(started[i].process, 10000);
    CloseHandle(started[i].process);
  }
}

namespace {

constexpr char kGame[] = "测试卸载游戏";

void PutEntry(HKEY root, const char* command) {
  const std::string path = CCommon::UninstallKeyPath(kGame);
  RegDeleteKeyA(root, path.c_str());
  if (!command) return;
  HKEY key = nullptr;
  RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegSetValueExA(key, "UninstallString", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(command),
                 static_cast<DWORD>(strlen(command) + 1));
  RegCloseKey(key);
}

bool HasEntry(HKEY root) {
  bool exists = false;
  CCommon::ReadUninstallString(root, kGame, &exists);
  return exists;
}

}  // namespace

TEST(UninstallerEntry, ThisCopysEntryGoesFromTheMachinesAndTheUsersList) {
  const char kIni[] = "C:\\Hall\\uninstall\\uninstall.ini";
  const char* mine = "\"C:\\Hall\\uninstall\\uninst.exe\" \"/U:C:\\Hall\\uninstall\\uninstall.ini\"";
  const char* other = "\"D:\\Hall\\uninstall\\uninst.exe\" \"/U:D:\\Hall\\uninstall\\uninstall.ini\"";
  struct Case {
    const char *machine, *user;  // nullptr: no entry
    bool machine_stays, user_stays;
  } cases[] = {
      {mine, nullptr, false, false},
      {nullptr, mine, false, false},  // registered without administrator rights
      {mine, mine, false, false},
      {other, mine, true, false},
      {mine, other, false, true},
  };
  uninstall::UninstallData data;
  data.gamename = kGame;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.machine ? c.machine : "-") + " | " + (c.user ? c.user : "-"));
    PutEntry(HKEY_LOCAL_MACHINE, c.machine);
    PutEntry(HKEY_CURRENT_USER, c.user);
    EXPECT_TRUE(uninstall::RemoveUninstallEntry(data, kIni));
    EXPECT_EQ(c.machine_stays, HasEntry(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(c.user_stays, HasEntry(HKEY_CURRENT_USER));
  }
  PutEntry(HKEY_LOCAL_MACHINE, nullptr);
  PutEntry(HKEY_CURRENT_USER, nullptr);
}

TEST(UninstallerFolder, LinksInsideAreNeverFollowed) {
  TempFolder outside, empty_outside, work;
  WriteFileBytes(outside.File("precious.txt"), "keep");
  const std::string folder = work.File("Hall");
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "\\data").c_str(), nullptr);
  WriteFileBytes(folder + "\\data\\ro.txt", "x");
  SetFileAttributesA((folder + "\\data\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  if (!MakeHostFolderLink(folder + "\\data\\link", outside.path()) ||
      !MakeHostFolderLink(folder + "\\empty", empty_outside.path()) ||
      !MakeHostFolderLink(work.File("AsLink"), outside.path())) {
    GTEST_SKIP() << "no folder links here";
  }
  ScopedNoSleep no_sleep;
  std::vector<std::string> left = uninstall::RemoveFolderTree(folder + "\\");
  uninstall::RemoveFolderTree(work.File("AsLink") + "\\");  // the install folder itself is a link
  EXPECT_TRUE(FileExists(outside.File("precious.txt")));
  EXPECT_TRUE(FolderExists(empty_outside.path()));
  EXPECT_FALSE(FileExists(folder + "\\data\\ro.txt"));
  // Wine cannot remove a host link alone: the links, and the folders holding
  // them, are what stays.
  for (const std::string& path : left) {
    EXPECT_TRUE(path == folder + "\\data\\link" || path == folder + "\\empty" || path == folder + "\\data" ||
                path == folder)
        << path;
  }
  RemoveHostFolderLink(folder + "\\data\\link");
  RemoveHostFolderLink(folder + "\\empty");
  RemoveHostFolderLink(work.File("AsLink"));
}
