// The uninstaller's work on the machine: the programs it ends and the
// entries it removes, and what it must leave alone.
#include <windows.h>

#include <gtest/gtest.h>

#include "system/ccommon.h"
#include "test_seams.h"
#include "uninstall_actions.h"

TEST(UninstallerPrograms, EveryProgramInsideTheFolderEndsAndNothingElse) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string tests(self, strrchr(self, '\\'));
  const std::string client = ReadFileBytes(tests + "\\..\\tools\\demo_client\\standard\\main.exe");
  ASSERT_FALSE(client.empty());
  TempFolder work;
  const std::string game = work.File("Game") + "\\";
  for (const std::string& dir : {game, game + "bin", game + "uninstall", work.File("Game2")}) {
    CreateDirectoryA(dir.c_str(), nullptr);
  }
  struct Case {
    std::string program;
    WORD show;
    bool ends, asked;  // asked: its window got WM_CLOSE (it logs "closed")
    HANDLE process;
  } cases[] = {
      {game + "main.exe", SW_SHOW, true, true, nullptr},
      {game + "bin\\starting.exe", SW_HIDE, true, false, nullptr},  // no window yet: ended
      {work.File("Game2\\main.exe"), SW_SHOW, false, false, nullptr},  // beside, not inside
      {game + "uninstall\\uninst.exe", SW_SHOW, false, false, nullptr},  // the uninstaller's own
  };
  for (Case& c : cases) {
    WriteFileBytes(c.program, client);
    STARTUPINFOA si = {sizeof si};
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = c.show;
    PROCESS_INFORMATION pi = {};
    std::string command = "\"" + c.program + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               work.path().c_str(), &si, &pi));
    CloseHandle(pi.hThread);
    WaitForInputIdle(pi.hProcess, 20000);
    c.process = pi.hProcess;
  }
  ScopedNoSleep no_sleep;  // the grace period of a program that does not close
  EXPECT_TRUE(uninstall::CloseProgramsInside(game, game + "uninstall\\uninst.exe").empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    EXPECT_EQ(c.ends, WaitForSingleObject(c.process, c.ends ? 10000 : 0) == WAIT_OBJECT_0);
    const std::string log = ReadFileBytes(c.program.substr(0, c.program.rfind('\\')) + "\\client.log");
    EXPECT_EQ(c.asked, log.find("closed") != std::string::npos) << log;
    TerminateProcess(c.process, 0);
    WaitForSingleObject(c.process, 10000);
    CloseHandle(c.process);
  }
}

TEST(UninstallerEntry, ThisCopysEntryGoesFromTheMachinesAndTheUsersList) {
  const char* kGame = "测试卸载游戏";
  const char* mine = "\"C:\\Hall\\uninstall\\uninst.exe\" \"/U:C:\\Hall\\uninstall\\uninstall.ini\"";
  const char* other = "\"D:\\Hall\\uninstall\\uninst.exe\" \"/U:D:\\Hall\\uninstall\\uninstall.ini\"";
  const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
  struct Case {
    const char* command[2];  // machine's, user's; nullptr: none
    bool stays[2];
  } cases[] = {
      {{mine, nullptr}, {false, false}},
      {{nullptr, mine}, {false, false}},  // registered without administrator rights
      {{mine, mine}, {false, false}},
      {{other, mine}, {true, false}},
      {{mine, other}, {false, true}},
  };
  uninstall::UninstallData data;
  data.gamename = kGame;
  const std::string path = CCommon::UninstallKeyPath(kGame);
  for (const Case& c : cases) {
    for (int i = 0; i < 2; ++i) {
      RegDeleteKeyA(roots[i], path.c_str());
      HKEY key = nullptr;
      if (!c.command[i] || RegCreateKeyA(roots[i], path.c_str(), &key) != ERROR_SUCCESS) continue;
      RegSetValueExA(key, "UninstallString", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(c.command[i]),
                     static_cast<DWORD>(strlen(c.command[i]) + 1));
      RegCloseKey(key);
    }
    EXPECT_TRUE(uninstall::RemoveUninstallEntry(data, "C:\\Hall\\uninstall\\uninstall.ini"));
    for (int i = 0; i < 2; ++i) {
      bool exists = false;
      CCommon::ReadUninstallString(roots[i], kGame, &exists);
      EXPECT_EQ(c.stays[i], exists) << i << ": " << (c.command[0] ? c.command[0] : "-");
      RegDeleteKeyA(roots[i], path.c_str());
    }
  }
}
