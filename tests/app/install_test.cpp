// Drives whole installations without the skinned window: the controller
// reports to a hidden recorder window and the scripted server plays the
// download server.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/install_hooks.h"
#include "app/window_commands.h"
#include "system/setup_messages.h"
#include "app/xgamesetup.h"
#include "config/agency_info.h"
#include "config/extent_config.h"
#include "config/installed_release.h"
#include "message_recorder.h"
#include "net/servers.h"
#include "package/free_space.h"
#include "package_fixture.h"
#include "scripted_server.h"
#include "system/seams.h"
#include "test_seams.h"
#include "test_signer.h"

namespace {

VolumeSpace TinyVolume(const std::string&) { return {true, "Q:\\", 64 << 10}; }

std::string ReadIni(const std::string& path, const char* section, const char* key) {
  char buf[512] = {};
  GetPrivateProfileStringA(section, key, "", buf, sizeof buf, path.c_str());
  return buf;
}

std::string SpecialFolder(int csidl) {
  char buf[MAX_PATH] = {};
  SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE);
  return buf;
}

std::string MarkerProgram() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string dir(self);
  dir = dir.substr(0, dir.rfind('\\'));
  return ReadFileBytes(dir + "\\..\\tools\\test_marker\\test_marker.exe");
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    servers::SetServerBasesForTesting(server.BaseUrl(), server.BaseUrl());
    server.SetFallback([](const RecordedRequest& r) {
      ScriptedAnswer a;
      if (r.target.rfind("/Members/UserAPI.aspx", 0) == 0) {
        a.body = "ok";
      } else {
        a.status = "404 Not Found";
        a.body = "not found";
      }
      return a;
    });
    setup = std::make_unique<XGameSetup>();
    std::strcpy(setup->setupInfo.gameName, "欢乐棋牌游戏");
    std::strcpy(setup->setupInfo.productTitle, "欢乐棋牌游戏大厅-测试");
    std::strcpy(setup->setupInfo.mainExeName, "main.exe");
    std::strcpy(setup->setupInfo.uninstallerName, "uninst.exe");
    std::strcpy(setup->setupInfo.publisher, "Hall Games");
    std::strcpy(setup->setupInfo.contact, "欢乐棋牌游戏 Support Department");
    std::strcpy(g_productName, "欢乐棋牌");
    setup->agencyIds = {"12", "345", "678", "9", "1001"};
    setup->setupInfo.descriptionPath = work.File("online_setup.txt");
    WriteFileBytes(setup->setupInfo.descriptionPath,
                   "[config]\r\n1.0=" + server.BaseUrl() + "/list.txt\r\n");
    folder = work.path() + "\\安装 目录\\";
  }

  void TearDown() override {
    setup.reset();
    servers::SetServerBasesForTesting("", "");
  }

  void ServeList(const std::string& list0) {
    // Validators unique across tests and runs: a later test's server may get
    // an earlier one's port, and with it the earlier list's cache record,
    // which a repeated ETag would vouch for as current.
    static int serial = 0;
    server.ServeResource("/list.txt", "[list0]\r\n" + list0,
                         "\"list-" + std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(::GetTickCount()) + "-" + std::to_string(++serial) + "\"");
  }

  // Starts the installation and pumps until the worker has finished; on state
  // 7 the completion runs on this thread, as the window does.
  void Install() {
    recorder.onMessage = [this](const PostedMessage& m) {
      if (m.msg == WM_SETUP_STATE && m.lParam == SETUP_STATE_DONE) setup->CompleteInstall();
      if (onMessage) onMessage(m);
    };
    setup->StartInstall(recorder.hwnd(), folder.c_str());
    ASSERT_TRUE(setup->workerThread);
    ASSERT_TRUE(recorder.PumpUntilSignalled(setup->workerFinished.get(), 60000));
    WaitForSingleObject(setup->workerThread.get(), 10000);
    recorder.Pump();
  }

  std::vector<std::string> Boxes() const {
    std::vector<std::string> out;
    for (const ShownMessage& m : boxes.shown()) out.push_back(m.text + "|" + m.caption);
    return out;
  }

  ScriptedServer server;
  TempFolder work;
  MessageRecorder recorder;
  ScopedMessageBoxRecorder boxes;
  ScopedNoSleep no_sleep;
  std::unique_ptr<XGameSetup> setup;
  std::string folder;
  std::function<void(const PostedMessage&)> onMessage;
};

TEST_F(InstallTest, FullInstallation) {
  const std::string marker = MarkerProgram();
  ASSERT_FALSE(marker.empty());
  std::map<std::string, std::string> files = {
      {"main.exe", marker},
      {"uninstall\\uninst.exe", marker},
      {"Config\\client.ini", "[client]\r\nx=1\r\n"},
      {"data\\maps\\a.map", std::string(70000, 'm')},
  };
  server.ServeResource("/game.zip", MakePackage(files, work.File("pkg")));
  ServeList("action=3\r\nsrcfile=" + server.BaseUrl() + "/game.zip\r\ndestfile=game.zip\r\ncmd=DEC\r\n");
  Install();

  EXPECT_TRUE(Boxes().empty()) << Boxes()[0];
  EXPECT_EQ(recorder.States(), (std::vector<int>{2, 2, 4, 6, 7}));
  // Progress rises from 0 in every stage (list, package, agency program,
  // extraction); the package and the extraction both reach 100.
  std::vector<int> p = recorder.Progress();
  std::vector<std::vector<int>> stages;
  for (int v : p) {
    if (v == 0) stages.emplace_back();
    ASSERT_FALSE(stages.empty());
    stages.back().push_back(v);
  }
  for (const auto& stage : stages) EXPECT_TRUE(std::is_sorted(stage.begin(), stage.end())) << ::testing::PrintToString(p);
  ASSERT_GE(stages.size(), 3u);
  EXPECT_EQ(stages[1].back(), 100);
  // Four entries: directory read (25), checked (31, 37, 43, 50), written
  // (62, 75, 87, 100).
  EXPECT_GE(stages.back().size(), 10u);
  EXPECT_EQ(stages.back().back(), 100);

  EXPECT_EQ(ReadFileBytes(folder + "data\\maps\\a.map"), files["data\\maps\\a.map"]);
  EXPECT_EQ(ReadFileBytes(folder + "Config\\client.ini"), files["Config\\client.ini"]);
  EXPECT_FALSE(FileExists(folder + "game.zip"));

  // Completion: uninstall data, agency record, machine id, registry, shortcuts.
  std::string uninstall_ini = folder + "uninstall\\uninstall.ini";
  EXPECT_EQ(ReadIni(uninstall_ini, "config", "setupdir"), folder);
  EXPECT_EQ(ReadIni(uninstall_ini, "config", "gamename"), "欢乐棋牌游戏");
  EXPECT_EQ(ReadIni(uninstall_ini, "config", "shortcutname"), "欢乐棋牌");
  EXPECT_EQ(ReadIni(uninstall_ini, "config", "ProductTitle"), "欢乐棋牌游戏大厅-测试");
  {
    // The keys are written one after another, in this order.
    const std::string text = ReadFileBytes(uninstall_ini);
    size_t last = 0;
    for (const char* key : {"[config]", "setupdir=", "gamename=", "shortcutname=", "ProductTitle="}) {
      size_t at = text.find(key);
      ASSERT_NE(at, std::string::npos) << key;
      EXPECT_GE(at, last) << key;
      last = at;
    }
  }
  std::string agency_ini = folder + "Config\\Agency.ini";
  EXPECT_EQ(ReadIni(agency_ini, "Config", "AgencyID"), "345");
  EXPECT_EQ(ReadIni(agency_ini, "Config", "StandaloneAgencyID"), "678");
  std::string machine_id = ReadIni(folder + "WindowsSys.ini", "UserInfo", "gs");
  EXPECT_EQ(machine_id.size(), 36u);

  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\欢乐棋牌游戏", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  char value[600] = {};
  DWORD size = sizeof value;
  RegQueryValueExA(key, "UninstallString", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  EXPECT_EQ(std::string(value), "\"" + folder + "uninstall\\uninst.exe\" \"/U:" + uninstall_ini + "\"");
  EXPECT_TRUE(FileExists(SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\欢乐棋牌.lnk"));
  EXPECT_TRUE(FileExists(SpecialFolder(CSIDL_PROGRAMS) + "\\欢乐棋牌游戏\\欢乐棋牌.lnk"));
  EXPECT_TRUE(FileExists(SpecialFolder(CSIDL_PROGRAMS) + "\\欢乐棋牌游戏\\欢乐棋牌卸载.lnk"));

  // Both statistics requests, start before the worker, end after Agency.ini.
  auto stats = server.RequestsFor("/Members/UserAPI.aspx");
  ASSERT_EQ(stats.size(), 2u);
  EXPECT_EQ(stats[0].target, "/Members/UserAPI.aspx?type=installs&isend=0&agencyid=345&mac=" + machine_id);
  EXPECT_EQ(stats[1].target, "/Members/UserAPI.aspx?type=installs&isend=1&agencyid=345&mac=" + machine_id);
  auto all = server.Requests();
  EXPECT_EQ(all.front().target, stats[0].target);
  // An unkeyed installer asks for no signature or manifest.
  for (const RecordedRequest& r : all) {
    EXPECT_EQ(r.target.find(".sig"), std::string::npos) << r.target;
    EXPECT_EQ(r.target.find(".manifest"), std::string::npos) << r.target;
  }

  // The client was started, quoted, in the install folder (whose name has a blank).
  std::string launched;
  for (int i = 0; i < 100 && launched.empty(); ++i) {
    Sleep(50);
    launched = ReadFileBytes(folder + "launched.txt");
  }
  EXPECT_NE(launched.find("cmdline=\"" + folder + "main.exe\""), std::string::npos) << launched;
  std::string folder_no_slash = folder.substr(0, folder.size() - 1);
  EXPECT_NE(launched.find("cwd=" + folder_no_slash), std::string::npos) << launched;

  // Leave the shared prefix as it was.
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\欢乐棋牌游戏");
}

TEST_F(InstallTest, InvalidListsStopWithTheirTexts) {
  struct Case {
    std::string description;  // empty: keep the default
    std::string list0;
    std::string text;
    bool package_requested;
  } cases[] = {
      {"[config]\r\nother=\r\n", "", "从文件中,获取版本对应的更新URL错误.", false},
      {"", "srcfile=x\r\n", "解析更新列表文件错误.", false},
      {"", "action=1\r\ndestfile=game.zip\r\n", "解析更新列表文件错误,动作有命令但命令为空.", false},
      {"", "action=2\r\nsrcfile=SRC\r\n", "解析更新列表文件错误,动作为下载文件但文件路径为空.", false},
      {"", "action=3\r\nsrcfile=SRC\r\ndestfile=..\\..\\evil.zip\r\ncmd=DEC\r\n", "解析更新列表文件错误.", false},
      {"", "action=3\r\nsrcfile=SRC\r\ndestfile=game.zip\r\ncmd=dec\r\n", "未知的命令参数", true},
      {"", "action=3\r\nsrcfile=SRC\r\ndestfile=game.zip\r\ncmd=DEC\r\n", "解压文件失败", true},
  };
  server.ServeResource("/game.zip", "this is not a zip archive");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    setup = std::make_unique<XGameSetup>();
    setup->setupInfo.descriptionPath = work.File("online_setup.txt");
    WriteFileBytes(setup->setupInfo.descriptionPath,
                   c.description.empty() ? "[config]\r\n1.0=" + server.BaseUrl() + "/list.txt\r\n"
                                         : c.description);
    std::string list0 = c.list0;
    size_t at = list0.find("SRC");
    if (at != std::string::npos) list0.replace(at, 3, server.BaseUrl() + "/game.zip");
    ServeList(list0);
    size_t before = server.RequestsFor("/game.zip").size();
    recorder.Clear();
    Install();
    std::vector<ShownMessage> shown = boxes.shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().text, c.text);
    EXPECT_EQ(shown.back().caption, "错误");
    EXPECT_EQ(shown.back().owner, recorder.hwnd());
    EXPECT_EQ(recorder.States().back(), 0);
    EXPECT_EQ(server.RequestsFor("/game.zip").size() > before, c.package_requested);
  }
}

TEST_F(InstallTest, ActionsWithoutACommandEndOnTheInstallingState) {
  server.ServeResource("/game.zip", "package bytes");
  struct Case {
    std::string list0;
    std::vector<int> states;
    bool downloaded;
  } cases[] = {
      {"action=0\r\n", {2, 2, 6}, false},
      {"action=4\r\n", {2, 2, 6}, false},
      {"action=2\r\nsrcfile=SRC\r\ndestfile=game.zip\r\n", {2, 2, 4, 6}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list0);
    std::string list0 = c.list0;
    size_t at = list0.find("SRC");
    if (at != std::string::npos) list0.replace(at, 3, server.BaseUrl() + "/game.zip");
    ServeList(list0);
    DeleteFileA((folder + "game.zip").c_str());
    recorder.Clear();
    Install();
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(recorder.States(), c.states);
    EXPECT_EQ(FileExists(folder + "game.zip"), c.downloaded);
    EXPECT_FALSE(FileExists(folder + "uninstall\\uninstall.ini"));
  }
}

TEST_F(InstallTest, CommandOnlyExtractsWhatIsAlreadyThere) {
  std::map<std::string, std::string> files = {{"main.exe", "not a program"}, {"readme.txt", "hello"}};
  CreateDirectoryA(folder.c_str(), nullptr);
  WriteFileBytes(folder + "local.zip", MakePackage(files, work.File("pkg")));
  ServeList("action=1\r\ndestfile=\\local.zip\r\ncmd=DEC\r\n");
  onMessage = [](const PostedMessage&) {};
  // No completion for this one: the main program is not a real program.
  recorder.onMessage = nullptr;
  // A folder given without its trailing backslash still yields paths inside it.
  setup->StartInstall(recorder.hwnd(), folder.substr(0, folder.size() - 1).c_str());
  ASSERT_TRUE(recorder.PumpUntilSignalled(setup->workerFinished.get(), 60000));
  recorder.Pump();
  EXPECT_STREQ(setup->installFolder, folder.c_str());
  EXPECT_EQ(recorder.States(), (std::vector<int>{2, 2, 6, 7}));
  EXPECT_EQ(ReadFileBytes(folder + "readme.txt"), "hello");
  EXPECT_FALSE(FileExists(folder + "local.zip"));
  EXPECT_TRUE(server.RequestsFor("/local.zip").empty());
  EXPECT_STREQ(setup->mainProgramPath, (folder + "main.exe").c_str());
  EXPECT_STREQ(setup->uninstallerPath, (folder + "uninstall\\uninst.exe").c_str());
}

TEST_F(InstallTest, APackageWithoutTheMainProgramFailsBeforeShortcutsAndUninstallEntry) {
  struct Case {
    const char* main_exe;  // the setup description's exefilename
    std::map<std::string, std::string> files;
    bool installs;
  } cases[] = {
      {"main.exe", {{"readme.txt", "no program"}}, false},
      {"Hall.exe", {{"main.exe", "another name"}}, false},
      {"", {{"main.exe", "no name given"}}, false},
      {"data", {{"data\\x.bin", "a folder, not a program"}}, false},
      {"bin\\Hall.exe", {{"bin\\Hall.exe", "in a folder"}}, true},
  };
  recorder.onMessage = nullptr;  // no completion: these are no real programs
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.main_exe);
    folder = work.path() + "\\case" + std::to_string(++n) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteFileBytes(folder + "local.zip", MakePackage(c.files, work.File("pkg")));
    ServeList("action=1\r\ndestfile=local.zip\r\ncmd=DEC\r\n");
    std::strcpy(setup->setupInfo.mainExeName, c.main_exe);
    recorder.Clear();
    const size_t shown_before = boxes.shown().size();
    setup->StartInstall(recorder.hwnd(), folder.c_str());
    ASSERT_TRUE(recorder.PumpUntilSignalled(setup->workerFinished.get(), 60000));
    recorder.Pump();
    EXPECT_EQ(recorder.States().back(), c.installs ? 7 : 0);
    const std::vector<std::string> all = Boxes();
    const std::vector<std::string> shown(all.begin() + shown_before, all.end());
    if (c.installs) {
      EXPECT_TRUE(shown.empty());
      EXPECT_STREQ(setup->mainProgramPath, (folder + c.main_exe).c_str());
    } else {
      const std::string text = "安装包中缺少主程序:" + folder + c.main_exe;
      EXPECT_EQ(shown, (std::vector<std::string>{text + "|错误"}));
      EXPECT_STREQ(setup->errorText, text.c_str());
      EXPECT_STREQ(setup->mainProgramPath, "");
    }
  }
}

TEST_F(InstallTest, AgencyProgramReplacesMainOnlyWhenItIsAProgram) {
  const std::string marker = MarkerProgram();
  std::map<std::string, std::string> files = {{"main.exe", "packaged main"}};
  server.ServeResource("/game.zip", MakePackage(files, work.File("pkg")));
  ServeList("action=3\r\nsrcfile=" + server.BaseUrl() + "/game.zip\r\ndestfile=game.zip\r\ncmd=DEC\r\n");
  recorder.onMessage = nullptr;
  const std::string agency_path = "/Image/Agency_678/main.exe";
  struct Case {
    const char* name;
    std::string served;  // empty: 404
    bool replaced;
  } cases[] = {{"absent", "", false}, {"not a program", "<html>oops</html>", false}, {"program", marker, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.served.empty()) server.ServeResource(agency_path, c.served, "\"" + std::string(c.name) + "\"");
    recorder.Clear();
    setup->StartInstall(recorder.hwnd(), folder.c_str());
    ASSERT_TRUE(recorder.PumpUntilSignalled(setup->workerFinished.get(), 60000));
    recorder.Pump();
    EXPECT_EQ(recorder.States().back(), 7);
    EXPECT_EQ(ReadFileBytes(folder + "main.exe"), c.replaced ? marker : "packaged main");
    EXPECT_FALSE(server.RequestsFor(agency_path).empty());
  }
}

TEST_F(InstallTest, StopBeforeTheActionsEndsTheWorkerSilently) {
  server.ServeResource("/game.zip", "package bytes");
  // The stop comes after the list is read, so even an invalid entry is not reported.
  const std::string lists[] = {
      "action=3\r\nsrcfile=" + server.BaseUrl() + "/game.zip\r\ndestfile=game.zip\r\ncmd=DEC\r\n",
      "srcfile=x\r\n",
  };
  struct HookReset {
    ~HookReset() { install_hooks::SetEntryReadHookForTesting(nullptr); }
  } reset;
  install_hooks::SetEntryReadHookForTesting([](XGameSetup* c) { c->RequestStop(); });
  for (const std::string& list0 : lists) {
    SCOPED_TRACE(list0);
    ServeList(list0);
    recorder.Clear();
    Install();
    EXPECT_TRUE(boxes.shown().empty()) << Boxes()[0];
    EXPECT_EQ(recorder.States(), (std::vector<int>{2, 2}));
    EXPECT_TRUE(server.RequestsFor("/game.zip").empty());
    EXPECT_FALSE(FileExists(folder + "game.zip"));
  }
}

TEST_F(InstallTest, StopDuringThePackageDownloadEndsWithoutAMessage) {
  // Reads wait for a full buffer, so the stall comes after more than one read.
  server.ServeResource("/game.zip", std::string(2000000, 'z'));
  Fault slow;
  slow.stallAfterBodyBytes = 600000;
  slow.stallMs = 4000;  // the stop is seen at the next read
  server.QueueFault("/game.zip", slow);
  ServeList("action=3\r\nsrcfile=" + server.BaseUrl() + "/game.zip\r\ndestfile=game.zip\r\ncmd=DEC\r\n");
  onMessage = [this](const PostedMessage& m) {
    if (m.msg == WM_SETUP_PROGRESS && m.lParam > 0 && recorder.States().back() == 4) setup->RequestStop();
  };
  DWORD start = GetTickCount();
  Install();
  EXPECT_LT(GetTickCount() - start, 15000u);
  EXPECT_TRUE(boxes.shown().empty()) << Boxes()[0] << ::testing::PrintToString(recorder.States());
  EXPECT_EQ(recorder.States().back(), 0);
  EXPECT_FALSE(FileExists(folder + "uninstall\\uninstall.ini"));
}

// Raises the stop at the first pause of the file writing, on the worker's own
// thread, so the stop lands in the middle of the extraction every time.
XGameSetup* g_stop_while_writing = nullptr;
void StopAtTheFirstWritingPause(DWORD ms) {
  if (ms == 10 && g_stop_while_writing) g_stop_while_writing->RequestStop();
}

TEST_F(InstallTest, AStopDuringTheExtractionKeepsThePackageForTheNextRunWithoutADownload) {
  std::map<std::string, std::string> files = {
      {"a.txt", "a"}, {"b.txt", "b"}, {"main.exe", "packaged main"}, {"z\\z.txt", "z"}};
  server.ServeResource("/game.zip", MakePackage(files, work.File("pkg")));
  ServeList("action=3\r\nsrcfile=" + server.BaseUrl() + "/game.zip\r\ndestfile=game.zip\r\ncmd=DEC\r\n");
  recorder.onMessage = nullptr;  // no completion: the main program is no program
  g_stop_while_writing = setup.get();
  const seams::SleepFn previous = seams::SetSleepForTesting(&StopAtTheFirstWritingPause);
  setup->StartInstall(recorder.hwnd(), folder.c_str());
  const bool ended = recorder.PumpUntilSignalled(setup->workerFinished.get(), 60000);
  seams::SetSleepForTesting(previous);
  g_stop_while_writing = nullptr;
  ASSERT_TRUE(ended);
  recorder.Pump();
  EXPECT_TRUE(boxes.shown().empty()) << Boxes()[0];
  EXPECT_EQ(recorder.States(), (std::vector<int>{2, 2, 4, 6, 0}));
  EXPECT_TRUE(FileExists(folder + "game.zip")) << "the complete package stays";
  EXPECT_FALSE(FileExists(folder + "game.pak"));
  EXPECT_FALSE(FileExists(folder + "z\\z.txt")) << "the stop came before the last file";
  const size_t sent = server.BodyBytesSent("/game.zip");

  recorder.Clear();
  setup->StartInstall(recorder.hwnd(), folder.c_str());
  ASSERT_TRUE(recorder.PumpUntilSignalled(setup->workerFinished.get(), 60000));
  recorder.Pump();
  EXPECT_TRUE(boxes.shown().empty()) << Boxes()[0];
  EXPECT_EQ(recorder.States(), (std::vector<int>{2, 2, 4, 6, 7}));
  for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFileBytes(folder + name), bytes) << name;
  EXPECT_FALSE(FileExists(folder + "game.zip"));
  EXPECT_FALSE(FileExists(folder + "game.pak"));
  // The copy on disk is confirmed by its last byte, not fetched again.
  EXPECT_LE(server.BodyBytesSent("/game.zip") - sent, 1u);
}

TEST_F(InstallTest, CompletionReplacesEarlierShortcutsOfBothUserAndCommonFolders) {
  auto folder_of = [](int csidl) {
    char buf[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, buf, csidl, TRUE);
    return std::string(buf);
  };
  const std::string user_desktop = folder_of(CSIDL_DESKTOPDIRECTORY);
  const std::string common_desktop = folder_of(CSIDL_COMMON_DESKTOPDIRECTORY);
  const std::string user_group = folder_of(CSIDL_PROGRAMS) + "\\欢乐棋牌游戏";
  const std::string common_group = folder_of(CSIDL_COMMON_PROGRAMS) + "\\欢乐棋牌游戏";
  ASSERT_NE(user_desktop, common_desktop);
  const std::string stale = "stale link";
  WriteFileBytes(user_desktop + "\\欢乐棋牌.lnk", stale);
  WriteFileBytes(common_desktop + "\\欢乐棋牌.lnk", stale);
  for (const std::string& group : {user_group, common_group}) {
    CreateDirectoryA(group.c_str(), nullptr);
    WriteFileBytes(group + "\\old.lnk", stale);
    WriteFileBytes(group + "\\欢乐棋牌.lnk", stale);
  }

  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "uninstall").c_str(), nullptr);
  CreateDirectoryA((folder + "Config").c_str(), nullptr);
  std::strcpy(setup->installFolder, folder.c_str());
  std::strcpy(setup->mainProgramPath, (folder + "main.exe").c_str());
  std::strcpy(setup->uninstallerPath, (folder + "uninstall\\uninst.exe").c_str());
  setup->CompleteInstall();
  recorder.Pump();

  EXPECT_FALSE(FileExists(common_desktop + "\\欢乐棋牌.lnk"));
  EXPECT_FALSE(FileExists(common_group + "\\old.lnk"));
  EXPECT_FALSE(FileExists(user_group + "\\old.lnk"));  // the whole group was made anew
  for (const std::string& link : {user_desktop + "\\欢乐棋牌.lnk", user_group + "\\欢乐棋牌.lnk",
                                  user_group + "\\欢乐棋牌卸载.lnk"}) {
    EXPECT_TRUE(FileExists(link)) << link;
    EXPECT_NE(ReadFileBytes(link), stale) << link;
  }
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\欢乐棋牌游戏");
}

TEST_F(InstallTest, FinishRecordsTheAgencyThenReportsTheEndAndTheDeletePath) {
  // Without a stored identifier the end request still carries an empty "mac=".
  HKEY app;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\WindowsApp", 0, KEY_SET_VALUE, &app) == ERROR_SUCCESS) {
    RegDeleteValueA(app, "mc");
    RegDeleteValueA(app, "kc");
    RegCloseKey(app);
  }
  struct Case {
    const char* deletePath;
    bool sideFile;
  } cases[] = {{"", false}, {"D:\\下载\\setup.exe", true}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.deletePath);
    const std::string dir = work.path() + "\\finish" + std::to_string(n++) + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    CreateDirectoryA((dir + "Config").c_str(), nullptr);
    std::strcpy(setup->installFolder, dir.c_str());
    setup->deletePath = c.deletePath;
    const std::string agency_ini = dir + "Config\\Agency.ini";
    std::vector<bool> agency_written_first;
    server.SetFallback([&](const RecordedRequest& r) {
      if (r.target.rfind("/Members/UserAPI.aspx", 0) == 0)
        agency_written_first.push_back(FileExists(agency_ini));
      ScriptedAnswer a;
      a.body = "ok";
      return a;
    });
    size_t before = server.RequestsFor("/Members/UserAPI.aspx").size();
    setup->FinishAndLaunch((dir + "missing.exe").c_str());  // a program that does not start is not reported
    auto stats = server.RequestsFor("/Members/UserAPI.aspx");
    ASSERT_EQ(stats.size(), before + 1);
    EXPECT_EQ(stats.back().target, "/Members/UserAPI.aspx?type=installs&isend=1&agencyid=345&mac=");
    EXPECT_EQ(agency_written_first, (std::vector<bool>{true}));
    EXPECT_EQ(ReadIni(agency_ini, "Config", "PCID"), "1001");
    const std::string side = dir + "Config\\onlinesetup.ini";
    EXPECT_EQ(FileExists(side), c.sideFile);
    EXPECT_EQ(ReadIni(side, "delpath", "path"), c.deletePath);
    EXPECT_TRUE(boxes.shown().empty());
    server.SetFallback(nullptr);
  }
}

TEST_F(InstallTest, TheClientStartsFromItsQuotedPathEvenWithoutItsExtension) {
  const std::string marker = MarkerProgram();
  ASSERT_FALSE(marker.empty());
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "Config").c_str(), nullptr);
  WriteFileBytes(folder + "client.exe", marker);
  // What an unquoted command line would start instead: the folder's name up to its blank.
  const std::string trap = folder.substr(0, folder.find(' '));
  WriteFileBytes(trap + ".exe", marker);
  std::strcpy(setup->installFolder, folder.c_str());
  setup->FinishAndLaunch((folder + "client").c_str());  // as "exefilename" may give it
  std::string launched;
  for (int i = 0; i < 100 && launched.empty(); ++i) {
    Sleep(50);
    launched = ReadFileBytes(folder + "launched.txt");
  }
  EXPECT_NE(launched.find("cmdline=\"" + folder + "client\""), std::string::npos) << launched;
  EXPECT_FALSE(FileExists(work.path() + "\\launched.txt"));
}

TEST_F(InstallTest, AFolderThatCannotBeCreatedReturnsToTheCustomPage) {
  folder = "Q:\\no\\such\\drive\\";
  setup->StartInstall(recorder.hwnd(), folder.c_str());
  EXPECT_FALSE(setup->workerThread);
  recorder.Pump();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].caption, "安装提示");
  EXPECT_EQ(boxes.shown()[0].owner, recorder.hwnd());  // stays above the installing page
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].msg, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(recorder.messages()[0].wParam, static_cast<WPARAM>(IDC_BTN_CUSTOM));
  EXPECT_TRUE(server.RequestsFor("/Members/UserAPI.aspx").empty());
}

// Folders whose last character ends in the byte 0x5C still get their "\":
// the package lands inside them, not beside them.
TEST_F(InstallTest, AFolderEndingInATrailByteBackslashGetsItsSeparator) {
  const char* const last_characters[] = {"\x81\x5C" /* 乗 */, "\xB1\x5C" /* 盶 */,
                                         "\xC8\x5C" /* 萛 */, "\x95\x5C" /* 昞 */};
  ServeList("action=0\r\n");
  for (const char* last : last_characters) {
    const std::string chosen = work.path() + "\\Hall" + last;
    SCOPED_TRACE(chosen);
    folder = chosen;
    Install();
    EXPECT_STREQ(setup->installFolder, (chosen + "\\").c_str());
    EXPECT_TRUE(FileExists(chosen + "\\WindowsSys.ini"));
    EXPECT_EQ(recorder.States().back(), 6);
  }
}

TEST_F(InstallTest, TheSideConfigurationsSetupFolderWinsOverTheChosenOne) {
  const std::string side_dir = work.path() + "\\side";
  CreateDirectoryA(side_dir.c_str(), nullptr);
  const std::string ini = side_dir + "\\tovrel_onlinesetup.ini";
  const std::string target = work.path() + "\\分销 目录";  // written without a trailing backslash
  WriteFileBytes(ini, "[onlinesetup_config]\r\nenable=1\r\nsetup_path_mode=2\r\nsetup_path=" + target +
                          "\r\ndel_otherfile=0\r\n");
  setup->extentConfig = CreateExtentConfigAt(ini, side_dir + "\\setup.exe");
  ASSERT_TRUE(setup->extentConfig);
  ServeList("action=0\r\n");
  recorder.onMessage = nullptr;
  setup->StartInstall(recorder.hwnd(), folder.c_str());
  ASSERT_TRUE(recorder.PumpUntilSignalled(setup->workerFinished.get(), 60000));
  recorder.Pump();
  EXPECT_STREQ(setup->installFolder, (target + "\\").c_str());
  EXPECT_TRUE(FileExists(target + "\\WindowsSys.ini"));
  EXPECT_FALSE(FileExists(folder + "WindowsSys.ini"));
  EXPECT_EQ(recorder.States(), (std::vector<int>{2, 2, 6}));
}

TEST_F(InstallTest, AnUpdateRemovesOnlyWhatTheNewReleaseNoLongerShips) {
  using Files = std::map<std::string, std::string>;
  const Files releases[] = {
      {{"main.exe", "one"}, {"old.txt", "one"}, {"data\\gone\\g.bin", "one"}, {"data\\kept.bin", "one"}},
      {{"main.exe", "two"}, {"Data\\Kept.bin", "two"}, {"new.txt", "two"}},
  };
  recorder.onMessage = nullptr;
  int n = 0;
  for (const Files& files : releases) {
    server.ServeResource("/game.zip", MakePackage(files, work.File("pkg" + std::to_string(n))),
                         "\"release-" + std::to_string(n) + "-" + std::to_string(GetTickCount()) + "\"");
    ServeList("action=3\r\nsrcfile=" + server.BaseUrl() + "/game.zip\r\ndestfile=game.zip\r\ncmd=DEC\r\n");
    recorder.Clear();
    setup->StartInstall(recorder.hwnd(), folder.c_str());
    ASSERT_TRUE(recorder.PumpUntilSignalled(setup->workerFinished.get(), 60000));
    recorder.Pump();
    ASSERT_EQ(recorder.States().back(), 7);
    if (n++ == 0) WriteFileBytes(folder + "save.dat", "the user's");  // never installed by a release
  }
  EXPECT_FALSE(FileExists(folder + "old.txt"));
  EXPECT_FALSE(FolderExists(folder + "data\\gone"));
  EXPECT_EQ(ReadFileBytes(folder + "data\\kept.bin"), "two");
  EXPECT_EQ(ReadFileBytes(folder + "save.dat"), "the user's");
  EXPECT_EQ(ReadFileBytes(folder + "uninstall\\installed.lst"), "Data\\Kept.bin\r\nmain.exe\r\nnew.txt\r\n");
}

TEST_F(InstallTest, ARunningClientIsClosedBeforeExtraction) {
  // A window carrying the product title stands for the running client.
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "FakeHallClient";
  RegisterClassA(&wc);
  HWND client = CreateWindowExA(0, "FakeHallClient", setup->setupInfo.productTitle, WS_OVERLAPPED,
                                0, 0, 10, 10, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_TRUE(client);
  std::map<std::string, std::string> files = {{"main.exe", "x"}};
  server.ServeResource("/game.zip", MakePackage(files, work.File("pkg")));
  ServeList("action=3\r\nsrcfile=" + server.BaseUrl() + "/game.zip\r\ndestfile=game.zip\r\ncmd=DEC\r\n");
  recorder.onMessage = nullptr;
  setup->StartInstall(recorder.hwnd(), folder.c_str());
  ASSERT_TRUE(recorder.PumpUntilSignalled(setup->workerFinished.get(), 60000));
  recorder.Pump();
  EXPECT_FALSE(IsWindow(client));  // DefWindowProc destroys it on WM_CLOSE
  EXPECT_EQ(recorder.States().back(), 7);
}

// A keyed installer installs a release only as its signed manifest lists it,
// never an older one than this machine has, never an expired one.
TEST_F(InstallTest, ASignedReleaseInstallsOnlyAsItsManifestSays) {
  const std::string marker = MarkerProgram();
  ASSERT_FALSE(marker.empty());
  TestSigner signer, stranger;
  ScopedPublisherKey keyed(signer.publicKey());
  const std::string product = setup->setupInfo.gameName;
  const std::string releases_key = "SOFTWARE\\WindowsApp\\Releases\\" + product;
  RegDeleteKeyA(HKEY_CURRENT_USER, releases_key.c_str());

  const std::string base = server.BaseUrl();
  const std::string list_url = base + "/list.txt", manifest_url = list_url + ".manifest";
  const std::string package_url = base + "/game.zip";
  const std::string agency_url = base + "/Image/Agency_678/main.exe";
  const std::string package =
      MakePackage({{"main.exe", "packaged main"}, {"readme.txt", "r"}}, work.File("pkg"));
  // Several blocks of random bytes, so the extraction follows the download.
  constexpr size_t kBlock = 64 << 10;
  std::string noise(5 * kBlock, '\0');
  for (size_t i = 0, x = 1; i < noise.size(); ++i) noise[i] = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
  const std::string blocked_package = MakePackage(
      {{"main.exe", "packaged main"}, {"readme.txt", "r"}, {"z.bin", noise}}, work.File("pkg2"));
  const std::string downloading = "[list0]\r\naction=3\r\nsrcfile=" + package_url +
                                  "\r\ndestfile=game.zip\r\ncmd=DEC\r\n";
  enum Change { kNone, kListByte, kManifestByte, kForeignSignature, kOtherKey, kNoSignature,
                kNoManifest, kOlder, kExpired, kServerClockBehind, kPackageUnlisted, kAgencyByte,
                kAgencyUnlisted, kLocalPackage, kLocalPackageByte, kBlocks, kBlocksAgencyByte, kBlocksNoRoom, kBlocksNoRoomUpdate };
  struct Case {
    Change change;
    std::string text;  // the box; empty: installs
    std::string main;  // main.exe afterwards
  } cases[] = {
      {kNone, "", marker},
      {kListByte, "文件校验失败:" + list_url, ""},
      {kManifestByte, "文件校验失败:" + manifest_url, ""},
      {kForeignSignature, "文件校验失败:" + manifest_url, ""},
      {kOtherKey, "文件校验失败:" + manifest_url, ""},
      {kNoSignature, "文件校验失败:" + manifest_url, ""},
      {kNoManifest, "文件校验失败:" + manifest_url, ""},
      {kOlder, "更新列表的版本(4)低于本机已安装的版本(5), 已拒绝安装:" + list_url, ""},
      {kExpired, "更新列表已过期(有效期至 2000-01-01):" + list_url, ""},
      {kServerClockBehind, "", marker},  // the server's clock says it is still valid
      {kPackageUnlisted, "文件校验失败:" + package_url, ""},
      {kAgencyByte, "文件校验失败:" + agency_url, ""},
      {kAgencyUnlisted, "", "packaged main"},
      // Command only: the package already in the folder must be the listed one.
      {kLocalPackage, "", marker},
      {kLocalPackageByte, "文件校验失败:" + package_url, ""},
      // Block digests: extracted as the package arrives; the agency program
      // is checked before the package is fetched at all.
      {kBlocks, "", marker},
      {kBlocksAgencyByte, "文件校验失败:" + agency_url, ""},
      // Out of room once the directory is read: the rest is not waited for.
      {kBlocksNoRoom, "磁盘空间不足,Q:\\ 需要 ", ""},
      // Over an installed client: downloaded whole first, so a failure leaves it as it was.
      {kBlocksNoRoomUpdate, "磁盘空间不足,Q:\\ 需要 ", "old main"},
  };
  std::string flipped = marker;
  flipped.back() ^= 1;  // a changed byte; a longer copy would be cut at the signed size
  recorder.onMessage = nullptr;  // no completion: the release is recorded with state 7
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    const bool local = c.change == kLocalPackage || c.change == kLocalPackageByte;
    std::string list = downloading;
    if (local) list.replace(list.find("action=3"), 8, "action=1");
    SignedManifest m;
    m.release = c.change == kOlder ? 4 : 5;
    m.hasExpiry = true;
    const bool old = c.change == kExpired || c.change == kServerClockBehind;
    m.expires = old ? ManifestDate{2000, 1, 1} : ManifestDate{9999, 12, 31};
    m.files.push_back(RecordOf("list.txt", list));
    const bool no_room = c.change == kBlocksNoRoom || c.change == kBlocksNoRoomUpdate;
    const bool blocks = c.change == kBlocks || c.change == kBlocksAgencyByte || no_room;
    const std::string& served_package = blocks ? blocked_package : package;
    if (c.change != kPackageUnlisted) m.files.push_back(RecordOf("game.zip", served_package));
    if (blocks) {
      m.files.back().blockSize = kBlock;
      for (size_t at = 0; at < served_package.size(); at += kBlock)
        m.files.back().blocks.push_back(RecordOf("", served_package.substr(at, kBlock)).sha256);
    }
    if (c.change != kAgencyUnlisted) m.files.push_back(RecordOf("Image/Agency_678/main.exe", marker));
    const std::string text = WriteSignedManifest(m);
    std::string signature = signer.Sign(manifest_url, text);
    if (c.change == kForeignSignature) signature = signer.Sign(list_url, list);
    if (c.change == kOtherKey) signature = stranger.Sign(manifest_url, text);
    std::string served_text = text;
    if (c.change == kManifestByte) served_text.back() ^= 1;
    // Each case serves a complete site of its own; what a case leaves out is a 404.
    server.RemoveResource("/list.txt.manifest");
    server.RemoveResource("/list.txt.manifest.sig");
    ServeExact(&server, "/list.txt", c.change == kListByte ? list + " " : list);
    ServeExact(&server, "/game.zip", served_package);
    ServeExact(&server, "/Image/Agency_678/main.exe",
               c.change == kAgencyByte || c.change == kBlocksAgencyByte ? flipped : marker);
    if (c.change != kNoManifest) ServeExact(&server, "/list.txt.manifest", served_text);
    if (c.change != kNoSignature) ServeExact(&server, "/list.txt.manifest.sig", signature);
    if (c.change == kServerClockBehind) {
      ScriptedAnswer dated;
      dated.headers = {{"Date", "Sat, 01 Jan 2000 23:59:59 GMT"}};
      dated.body = text;
      for (int i = 0; i < 2; ++i) server.QueueAnswer("/list.txt.manifest", dated);  // fetch, then date
    }

    folder = work.path() + "\\signed" + std::to_string(++n) + "\\";
    if (local) {
      CreateDirectoryA(folder.c_str(), nullptr);
      WriteFileBytes(folder + "game.zip", c.change == kLocalPackageByte ? package + "x" : package);
    }
    // A copy of the program left by an earlier case would be taken without a request.
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    DeleteFileA((std::string(temp) + "main.exe").c_str());
    const size_t shown_before = boxes.shown().size();
    const size_t agency_asked = server.RequestsFor("/Image/Agency_678/main.exe").size();
    if (c.change == kBlocksNoRoomUpdate) {
      CreateDirectoryA(folder.c_str(), nullptr);
      WriteFileBytes(folder + "main.exe", "old main");
    }
    if (no_room) {
      Fault slow;  // two blocks at once, then a slow line for the rest
      slow.burstBytes = 2 * kBlock;
      slow.paceBytes = 4096;
      slow.paceMs = 100;
      server.QueueFault("/game.zip", slow);
    }
    SetVolumeSpaceProbe(no_room ? TinyVolume : nullptr);
    recorder.Clear();
    setup->StartInstall(recorder.hwnd(), folder.c_str());
    ASSERT_TRUE(recorder.PumpUntilSignalled(setup->workerFinished.get(), 60000));
    recorder.Pump();
    SetVolumeSpaceProbe(nullptr);
    const std::vector<std::string> all = Boxes();
    const std::vector<std::string> shown(all.begin() + shown_before, all.end());
    if (c.text.empty()) {
      EXPECT_TRUE(shown.empty()) << shown[0];
      EXPECT_EQ(recorder.States().back(), 7);
      EXPECT_EQ(ReadFileBytes(folder + "readme.txt"), "r");
    } else {
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_EQ(shown[0].rfind(c.text, 0), 0u) << shown[0];
      EXPECT_EQ(shown[0].find("|错误"), shown[0].size() - std::strlen("|错误")) << shown[0];
      EXPECT_EQ(recorder.States().back(), 0);
      EXPECT_FALSE(FileExists(folder + "readme.txt"));
      // A package the manifest vouched for stays for the next run.
      EXPECT_EQ(FileExists(folder + "game.zip"), c.change == kAgencyByte || no_room);
      if (no_room)
        EXPECT_EQ(ReadFileBytes(folder + "game.zip").size() < served_package.size(), c.change == kBlocksNoRoom);
    }
    EXPECT_EQ(ReadFileBytes(folder + "main.exe"), c.main);
    // An unlisted program is not asked for (a listed one may already be on disk).
    if (c.change == kAgencyUnlisted)
      EXPECT_EQ(server.RequestsFor("/Image/Agency_678/main.exe").size(), agency_asked);
    EXPECT_EQ(ReadInstalledRelease(product), 5u);
  }
  // Leave the machine identifier's key as the other tests expect it: no subkeys.
  RegDeleteKeyA(HKEY_CURRENT_USER, releases_key.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\WindowsApp\\Releases");
}

}  // namespace
