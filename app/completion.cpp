// After state 7, on the window's thread: shortcuts, uninstall data and entry,
// agency record, end statistics request, delete-path record, launch, quit.
#include <windows.h>

#include <shlobj.h>

#include <string>

#include "app/xgamesetup.h"
#include "config/agency_info.h"
#include "core/buffer_limits.h"
#include "core/gbk_text.h"
#include "core/safe_path.h"
#include "core/uninstall_contract.h"
#include "config/machine_id.h"
#include "net/servers.h"
#include "system/ccommon.h"
#include "system/profile_file.h"

void XGameSetup::CompleteInstall() {
  char shortcut_name[100] = {};
  gbk::CopyToBuffer(shortcut_name, sizeof shortcut_name, g_productName);
  const char* game = setupInfo.gameName;

  // The uninstaller removes only single names (core/safe_path.h): what it
  // would refuse is not made, so nothing it cannot find is left behind.
  namespace uc = uninstall_contract;
  const bool shortcut_ok = StaysInsideFolder(shortcut_name, NameRule::kSingleName);
  const bool group_ok = StaysInsideFolder(game, NameRule::kSingleName);
  if (shortcut_ok) {
    CCommon::DelShortcutEx(shortcut_name, CSIDL_DESKTOPDIRECTORY, false);
    CCommon::DelShortcutEx(shortcut_name, CSIDL_COMMON_DESKTOPDIRECTORY, false);
    CCommon::CreateShortcut(shortcut_name, mainProgramPath, CSIDL_DESKTOPDIRECTORY, false);
  }

  std::string link = gbk::FormatCut(kPathTextMax, "%s\\%s", game, shortcut_name);
  std::string uninstall_link = gbk::FormatCut(kPathTextMax, "%s\\%s%s", game, shortcut_name, uc::kUninstallLinkSuffix);
  if (group_ok) {
    if (shortcut_ok) {
      CCommon::DelShortcutEx(link.c_str(), CSIDL_PROGRAMS, false);
      CCommon::DelShortcutEx(uninstall_link.c_str(), CSIDL_PROGRAMS, false);
    }
    CCommon::DelShortcutEx(game, CSIDL_PROGRAMS, true);
    CCommon::DelShortcutEx(game, CSIDL_COMMON_PROGRAMS, true);
    CCommon::CreateShortcut(game, mainProgramPath, CSIDL_PROGRAMS, true);
    if (shortcut_ok) {
      CCommon::CreateShortcut(link.c_str(), mainProgramPath, CSIDL_PROGRAMS, false);
      CCommon::CreateShortcut(uninstall_link.c_str(), uninstallerPath, CSIDL_PROGRAMS, false);
    }
  }

  const std::string data_file = gbk::Format("%s%s", installFolder, uc::kDataFileBelowInstall);
  CCommon::RegisterUninstall(game, game, setupInfo.publisher, setupInfo.contact, uninstallerPath,
                             data_file.c_str());
  const ProfileFile uninstall_ini(data_file, 0);
  uninstall_ini.WriteString(uc::kSection, uc::kSetupDirKey, installFolder);
  uninstall_ini.WriteString(uc::kSection, uc::kGameNameKey, game);
  uninstall_ini.WriteString(uc::kSection, uc::kShortcutNameKey, shortcut_name);
  uninstall_ini.WriteString(uc::kSection, uc::kProductTitleKey, setupInfo.productTitle);

  FinishAndLaunch(mainProgramPath);
  ::PostQuitMessage(0);
}

void XGameSetup::FinishAndLaunch(const char* main_program) {
  WriteAgencyIni();
  std::string machine_id = GetMachineId(installFolder);
  std::string url = servers::StatisticsUrl(true, agencyIds.AgencyID, machine_id);
  FetchUrlText(&httpSession, url.c_str());  // the answer is not needed

  if (!deletePath.empty()) {
    const ProfileFile side(gbk::Format("%s\\Config\\onlinesetup.ini", installFolder), 0);
    side.WriteString("delpath", "path", deletePath.c_str());
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
