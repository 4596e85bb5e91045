// uninst.exe ["/U:<install>\uninstall\uninstall.ini"] [/S]
// Removes what the online installer made: the desktop and Start-menu
// shortcuts, the uninstall entry and the install folder, after ending every
// program that runs from the install folder. The machine
// identifier in the user's registry stays. Without "/U:" (the Start-menu
// shortcut) it uses "uninstall.ini" in its own folder. The program lives in
// the install folder, so it moves itself to the temporary folder and does all
// the work in this process: it returns only when it is done.
// Exit codes: 0 everything removed; 1 cancelled, or refused (data file missing
// or naming an unsafe folder) with nothing touched; 2 removed with something
// left (listed in the message); 3 bad arguments.
#include <windows.h>

#include <string>
#include <vector>

#include "core/gbk_text.h"
#include "system/file_attributes.h"
#include "system/protected_folders.h"
#include "system/seams.h"
#include "uninstall_actions.h"
#include "core/uninstall_rules.h"

namespace {

const char kCaption[] = "卸载";

void Tell(const uninstall::Options& options, const std::string& text, UINT icon) {
  if (!options.silent) seams::ShowMessageBox(nullptr, text.c_str(), kCaption, MB_OK | icon);
}

std::string SelfPath() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return (n > 0 && n < MAX_PATH) ? std::string(path) : std::string();
}

std::string VerdictText(uninstall::FolderVerdict verdict, const std::string& setupdir) {
  const char* reason = "";
  switch (verdict) {
    case uninstall::FolderVerdict::kNotAbsolute: reason = "安装目录不是完整路径"; break;
    case uninstall::FolderVerdict::kDriveRoot: reason = "安装目录是磁盘根目录"; break;
    case uninstall::FolderVerdict::kIniMisplaced: reason = "卸载信息文件不在安装目录的 uninstall 文件夹中"; break;
    case uninstall::FolderVerdict::kMismatch: reason = "卸载信息记录的安装目录与实际位置不符"; break;
    case uninstall::FolderVerdict::kProtected: reason = "安装目录是系统或用户文件夹"; break;
    case uninstall::FolderVerdict::kOk: break;
  }
  return gbk::Format("无法卸载：%s，为安全起见没有删除任何文件。\n%s", reason, setupdir.c_str());
}

// A running program cannot be deleted, but it can be moved within its volume:
// the uninstaller moves itself to the temporary folder (gone at the next
// restart) so that it can remove the whole install folder itself and report
// the outcome. False when that is not possible (another volume, no rights).
bool MoveSelfAside(const std::string& self) {
  char temp[MAX_PATH + 1] = {};
  DWORD n = GetTempPathA(sizeof(temp), temp);
  if (n == 0 || n >= sizeof(temp)) return false;
  std::string aside = gbk::Format("%suninst-%lu-%lu.exe", temp, GetCurrentProcessId(), GetTickCount());
  if (!MoveFileExA(self.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
  MoveFileExA(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

// The Start-menu shortcut starts the uninstaller in its own folder, and a
// process's current folder cannot be removed: work from the temporary
// folder (or the Windows folder) instead.
void LeaveFolder() {
  char place[MAX_PATH + 1] = {};
  DWORD n = GetTempPathA(sizeof(place), place);
  if (n > 0 && n < sizeof(place) && SetCurrentDirectoryA(place)) return;
  n = GetWindowsDirectoryA(place, MAX_PATH);
  if (n > 0 && n < MAX_PATH) SetCurrentDirectoryA(place);
}

int Uninstall(const uninstall::Options& options, const uninstall::UninstallData& data,
              const std::string& folder, const std::string& self) {
  LeaveFolder();
  // Every program running from the folder, found by where its file lies
  // (a client still starting has no window yet, its title may differ).
  std::vector<std::string> left;
  for (const std::string& program : uninstall::CloseProgramsInside(folder, self)) {
    left.push_back(gbk::Format("%s（仍在运行）", program.c_str()));
  }
  if (!uninstall::RemoveShortcuts(data)) left.push_back("快捷方式（名称无效）");
  if (!uninstall::RemoveUninstallEntry(data, options.ini_path)) left.push_back("注册表卸载项");
  for (const std::string& path : uninstall::RemoveFolderTree(folder)) left.push_back(path);

  std::string name = data.shortcutname.empty() ? data.gamename : data.shortcutname;
  if (left.empty()) {
    Tell(options, gbk::Format("%s 已成功从您的电脑中卸载。", name.c_str()), MB_ICONINFORMATION);
    return 0;
  }
  std::string list;
  for (size_t i = 0; i < left.size() && i < 10; ++i) list += left[i] + "\n";
  if (left.size() > 10) list += "...\n";
  Tell(options, gbk::Format("卸载未能删除以下内容，请手动删除：\n%s", list.c_str()), MB_ICONWARNING);
  return 2;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  uninstall::Options options;
  if (!uninstall::ParseCommandLine(GetCommandLineA(), &options)) {
    seams::ShowMessageBox(nullptr, "卸载参数错误：卸载信息文件（/U:）为空。", kCaption, MB_OK | MB_ICONERROR);
    return 3;
  }
  std::string self = SelfPath();
  // The Start-menu shortcut starts the uninstaller without arguments; the
  // installer keeps the data file beside it.
  if (options.ini_path.empty()) options.ini_path = uninstall::DataFileBeside(self);
  if (options.ini_path.empty()) {
    Tell(options, "卸载参数错误：找不到卸载程序自身的位置。", MB_ICONERROR);
    return 3;
  }

  if (!PathExists(options.ini_path)) {
    Tell(options, gbk::Format("找不到卸载信息文件：\n%s", options.ini_path.c_str()), MB_ICONERROR);
    return 1;
  }
  uninstall::UninstallData data = uninstall::ReadUninstallData(options.ini_path);
  std::string folder;
  uninstall::FolderVerdict verdict = uninstall::CheckInstallFolder(
      options.ini_path, data.setupdir, ProtectedFolders(), &folder);
  if (verdict != uninstall::FolderVerdict::kOk) {
    Tell(options, VerdictText(verdict, data.setupdir), MB_ICONERROR);
    return 1;
  }

  if (!options.silent) {
    std::string name = data.shortcutname.empty() ? data.gamename : data.shortcutname;
    std::string question = gbk::Format("确定要卸载 %s 及其所有组件吗？", name.c_str());
    if (seams::ShowMessageBox(nullptr, question.c_str(), kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
      return 1;
    }
  }
  if (uninstall::IsInsideFolder(self, folder) && !MoveSelfAside(self)) {
    // The program file stays until the next restart and is reported as left.
    MoveFileExA(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  return Uninstall(options, data, folder, self);
}
