// After state 7, on the window's thread: shortcuts, uninstall data and entry,
// agency record, end statistics request, delete-path record, launch, quit.
#include <windows.h>

#include <string>

#include "app/xgamesetup.h"
#include "config/agency_info.h"
#include "core/gbk_text.h"
#include "config/machine_id.h"
#include "net/servers.h"
#include "system/ccommon.h"

namespace {

// Shell folder ids.
constexpr int kUserDesktop = 0x10;
constexpr int kCommonDesktop = 0x19;
constexpr int kUserPrograms = 0x02;
constexpr int kCommonPrograms = 0x17;
constexpr int kDesktopKind = 0;

void WriteProfile(const char* section, const char* key, const char* value, const std::string& path) {
  ::WritePrivateProfileStringA(section, key, value, path.c_str());
}

}  // namespace

void XGameSetup::CompleteInstall() {
  char shortcut_name[100] = {};
  gbk::CopyToBuffer(shortcut_name, sizeof shortcut_name, g_productName);
  const char* game = setupInfo.gameName;

  CCommon::DelShortcutEx(shortcut_name, kUserDesktop, false);
  CCommon::DelShortcutEx(shortcut_name, kCommonDesktop, false);
  CCommon::CreateShortcut(shortcut_name, mainProgramPath, kDesktopKind, false);

  std::string link = gbk::FormatCut(259, "%s\\%s", game, shortcut_name);
  std::string uninstall_link = gbk::FormatCut(259, "%s\\%s卸载", game, shortcut_name);
  CCommon::DelShortcutEx(link.c_str(), kUserPrograms, false);
  CCommon::DelShortcutEx(uninstall_link.c_str(), kUserPrograms, false);
  CCommon::DelShortcutEx(game, kUserPrograms, true);
  CCommon::DelShortcutEx(game, kCommonPrograms, true);

  CCommon::CreateShortcut(game, mainProgramPath, kUserPrograms, true);
  CCommon::CreateShortcut(link.c_str(), mainProgramPath, kUserPrograms, false);
  CCommon::CreateShortcut(uninstall_link.c_str(), uninstallerPath, kUserPrograms, false);

  std::string uninstall_ini = gbk::Format("%suninstall\\uninstall.ini", installFolder);
  CCommon::RegisterUninstall(game, game, setupInfo.publisher, setupInfo.contact, uninstallerPath,
                             uninstall_ini.c_str());
  WriteProfile("config", "setupdir", installFolder, uninstall_ini);
  WriteProfile("config", "gamename", game, uninstall_ini);
  WriteProfile("config", "shortcutname", shortcut_name, uninstall_ini);
  WriteProfile("config", "ProductTitle", setupInfo.productTitle, uninstall_ini);

  FinishAndLaunch(mainProgramPath);
  ::PostQuitMessage(0);
}

void XGameSetup::FinishAndLaunch(const char* main_program) {
  WriteAgencyIni();
  std::string machine_id = GetMachineId(installFolder);
  std::string url = servers::StatisticsUrl(true, agencyIds.AgencyID, machine_id);
  FetchUrlText(&httpSession, url.c_str());  // the answer is not needed

  if (!deletePath.empty()) {
    std::string side = gbk::Format("%s\\Config\\onlinesetup.ini", installFolder);
    WriteProfile("delpath", "path", deletePath.c_str(), side);
  }

  // Quoted, so a path with blanks can never start another program
  // (C:\Program.exe); left to the command line, as WinExec does, so a name
  // without ".exe" still starts. It starts in the install folder.
  std::string command = gbk::Format("\"%s\"", main_program);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION pi = {};
  if (::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                       installFolder[0] ? installFolder : nullptr, &si, &pi)) {
    ScopedKernelHandle process(pi.hProcess);
    ScopedKernelHandle thread(pi.hThread);
  }
}
