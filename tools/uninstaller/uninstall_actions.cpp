#include "uninstall_actions.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include "core/buffer_limits.h"
#include "core/safe_path.h"
#include "core/uninstall_contract.h"
#include "system/ccommon.h"
#include "system/close_window.h"
#include "system/file_attributes.h"
#include "system/folder_walk.h"
#include "system/profile_file.h"
#include "system/remove_link.h"
#include "system/scoped_handle.h"
#include "system/seams.h"

namespace uninstall {
namespace {

namespace uc = uninstall_contract;

// A program that was just closed may hold its files for a moment longer:
// the tree is tried again for about this long before what stays is named.
constexpr int kRemoveRounds = 20;
constexpr DWORD kRemoveRetryMs = 250;
// A window the system reports as not responding for this long is given up,
// as the installer does.
constexpr UINT kCloseHungMs = 10000;
// How long a program whose windows were asked to close may take to end
// before it is ended, and how long ending it may take.
constexpr DWORD kExitGraceMs = 5000;
constexpr DWORD kExitPollMs = 100;
constexpr DWORD kTerminateWaitMs = 5000;

// A file gone meanwhile counts as removed.
bool DeleteOneFile(const std::string& path) {
  if (DeleteFileForce(path)) return true;
  const DWORD err = GetLastError();
  return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
}

bool IsLink(DWORD attrs) {
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

void RemoveTree(const std::string& folder, std::vector<std::string>* failed) {
  std::string base = NormalizeFolder(folder);
  VisitFolderEntries(base + "*", [&](const WIN32_FIND_DATAA& found) {
    const std::string path = base + found.cFileName;
    if (IsLink(found.dwFileAttributes)) {
      // Never entered; only the link itself may go, never what it points to.
      if (!RemoveLinkItself(path)) failed->push_back(path);
    } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(path, failed);
    } else if (!DeleteOneFile(path)) {
      failed->push_back(path);
    }
  });
  std::string self = base.substr(0, base.size() - 1);
  ClearReadOnly(self, ReadOnlyScope::kFilesAndFolders);
  if (!RemoveDirectoryA(self.c_str()) && PathExists(self)) failed->push_back(self);
}

// The long form of an existing path (a folder given in 8.3 form names the
// same folder as the long one a process reports); the path as given
// otherwise.
std::string LongPath(const std::string& path) {
  char buffer[MAX_PATH * 2] = {};
  DWORD n = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
  return (n > 0 && n < sizeof buffer) ? std::string(buffer) : path;
}

struct WindowsOf {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectMainWindow(HWND window, LPARAM param) {
  auto* of = reinterpret_cast<WindowsOf*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  // Main windows only: what a user would close. Hidden helper windows go
  // with their process.
  if (pid == of->pid && IsWindowVisible(window) && !GetWindow(window, GW_OWNER)) {
    of->windows.push_back(window);
  }
  return TRUE;
}

bool HasEnded(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

// Asks the program's windows to close as a user would, waiting while they
// answer (a client may ask "really quit?"); a program that has not ended a
// few seconds later, or that shows no window (still starting), is ended.
bool EndProgram(HANDLE process, DWORD pid) {
  WindowsOf of{pid, {}};
  EnumWindows(&CollectMainWindow, reinterpret_cast<LPARAM>(&of));
  for (HWND window : of.windows) {
    if (IsWindow(window)) AskWindowToClose(window, kCloseHungMs, nullptr);
  }
  for (DWORD waited = 0; !HasEnded(process) && waited < kExitGraceMs; waited += kExitPollMs) {
    seams::SleepMs(kExitPollMs);
  }
  if (HasEnded(process)) return true;
  TerminateProcess(process, 1);
  return WaitForSingleObject(process, kTerminateWaitMs) == WAIT_OBJECT_0;
}

}  // namespace

UninstallData ReadUninstallData(const std::string& ini_path) {
  const ProfileFile ini(ini_path, kPathBytes);
  UninstallData data;
  data.setupdir = ini.ReadString(uc::kSection, uc::kSetupDirKey, "");
  data.gamename = ini.ReadString(uc::kSection, uc::kGameNameKey, "");
  data.shortcutname = ini.ReadString(uc::kSection, uc::kShortcutNameKey, "");
  data.product_title = ini.ReadString(uc::kSection, uc::kProductTitleKey, "");
  return data;
}

std::vector<std::string> CloseProgramsInside(const std::string& folder, const std::string& keep) {
  std::vector<std::string> running;
  const std::string inside = LongPath(folder);
  const DWORD self = GetCurrentProcessId();
  ScopedKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return running;
  std::vector<DWORD> pids;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
    if (entry.th32ProcessID != self && entry.th32ProcessID != 0) pids.push_back(entry.th32ProcessID);
  }
  snapshot.reset();
  for (DWORD pid : pids) {
    ScopedKernelHandle process(OpenProcess(
        PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    if (!process) continue;
    char image[MAX_PATH * 2] = {};
    DWORD size = sizeof image;
    if (!QueryFullProcessImageNameA(process.get(), 0, image, &size)) continue;
    const std::string program = LongPath(image);
    if (!MustEndBeforeRemoving(program, inside, keep)) continue;
    if (!EndProgram(process.get(), pid)) running.push_back(program);
  }
  return running;
}

bool RemoveShortcuts(const UninstallData& data) {
  const bool shortcut_ok = StaysInsideFolder(data.shortcutname, NameRule::kSingleName);
  const bool group_ok = StaysInsideFolder(data.gamename, NameRule::kSingleName);
  if (shortcut_ok) {
    for (int id : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY})
      CCommon::DelShortcutEx(data.shortcutname.c_str(), id, false);
  }
  if (group_ok) {
    const std::string link = data.gamename + "\\" + data.shortcutname;
    for (int id : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
      if (shortcut_ok) {
        CCommon::DelShortcutEx(link.c_str(), id, false);
        CCommon::DelShortcutEx((link + uc::kUninstallLinkSuffix).c_str(), id, false);
      }
      CCommon::DelShortcutEx(data.gamename.c_str(), id, true);
    }
  }
  return shortcut_ok && group_ok;
}

bool RemoveUninstallEntry(const UninstallData& data, const std::string& ini_path) {
  if (!StaysInsideFolder(data.gamename, NameRule::kSingleName)) return false;
  const std::string key_path = CCommon::UninstallKeyPath(data.gamename);
  bool all_gone = true;
  // The machine's list, or the user's when the installer lacked the rights
  // for the machine's; each only when it is this copy's entry.
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    bool exists = false;
    const std::string command = CCommon::ReadUninstallString(root, data.gamename, &exists);
    if (!exists || !EntryBelongsTo(command, ini_path)) continue;  // none, or another copy's
    SHDeleteKeyA(root, key_path.c_str());
    if (OpenRegKey(root, key_path.c_str(), KEY_READ)) all_gone = false;
  }
  return all_gone;
}

std::vector<std::string> RemoveFolderTree(const std::string& folder) {
  std::vector<std::string> failed;
  std::string bare = NormalizeFolder(folder);
  if (bare.size() > 3) bare.pop_back();
  const DWORD attrs = GetFileAttributesA(bare.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return failed;
  if (IsLink(attrs)) {
    // The install folder itself is a link: its target is not ours to empty.
    if (!RemoveLinkItself(bare)) failed.push_back(bare);
    return failed;
  }
  for (int round = 1;; ++round) {
    failed.clear();
    RemoveTree(folder, &failed);
    if (failed.empty() || round == kRemoveRounds) return failed;
    seams::SleepMs(kRemoveRetryMs);
  }
}

}  // namespace uninstall
