#include "uninstall_actions.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include "core/gbk_text.h"
#include "system/ccommon.h"
#include "system/scoped_handle.h"
#include "system/seams.h"

namespace uninstall {
namespace {

const char kUninstallKeyBase[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Shell folder ids of the places the installer puts shortcuts.
const int kUserDesktop = 0x10;
const int kCommonDesktop = 0x19;
const int kUserPrograms = 0x02;
const int kCommonPrograms = 0x17;

std::string ReadValue(const std::string& ini, const char* key) {
  char buffer[260] = {};
  GetPrivateProfileStringA("config", key, "", buffer, sizeof(buffer), ini.c_str());
  return buffer;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A file that the client just released may stay busy for a moment.
bool DeleteFileRetrying(const std::string& path) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (DeleteFileA(path.c_str())) return true;
    DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return true;
    if (err == ERROR_ACCESS_DENIED) {
      DWORD attrs = GetFileAttributesA(path.c_str());
      if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesA(path.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
        continue;
      }
    }
    if (err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED) return false;
    seams::SleepMs(250);
  }
  return false;
}

void RemoveTree(const std::string& folder, std::vector<std::string>* failed) {
  std::string base = NormalizeFolder(folder);
  WIN32_FIND_DATAA found;
  ScopedFindHandle search(FindFirstFileA((base + "*").c_str(), &found));
  if (search.valid()) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = base + name;
      bool is_dir = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      bool is_link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (is_dir && !is_link) {
        RemoveTree(path, failed);
      } else if (is_dir) {
        // A junction: remove the link itself, never what it points to.
        if (!RemoveDirectoryA(path.c_str())) failed->push_back(path);
      } else if (!DeleteFileRetrying(path)) {
        failed->push_back(path);
      }
    } while (FindNextFileA(search.get(), &found));
  }
  search.reset();
  std::string self = base.substr(0, base.size() - 1);
  DWORD attrs = GetFileAttributesA(self.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesA(self.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
  }
  if (!RemoveDirectoryA(self.c_str()) && PathExists(self)) failed->push_back(self);
}

}  // namespace

UninstallData ReadUninstallData(const std::string& ini_path) {
  UninstallData data;
  data.setupdir = ReadValue(ini_path, "setupdir");
  data.gamename = ReadValue(ini_path, "gamename");
  data.shortcutname = ReadValue(ini_path, "shortcutname");
  data.product_title = ReadValue(ini_path, "ProductTitle");
  return data;
}

std::vector<std::string> ProtectedFolders() {
  static const int kIds[] = {
      CSIDL_WINDOWS,         CSIDL_SYSTEM,          CSIDL_PROGRAM_FILES,
      CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROFILE,    CSIDL_DESKTOPDIRECTORY,
      CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_APPDATA,
      CSIDL_LOCAL_APPDATA,   CSIDL_COMMON_APPDATA,  CSIDL_PROGRAMS,
      CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU,       CSIDL_COMMON_STARTMENU,
      CSIDL_STARTUP,         CSIDL_COMMON_DOCUMENTS,
  };
  std::vector<std::string> folders;
  for (int id : kIds) {
    char path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathA(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path)) && path[0]) {
      folders.push_back(path);
    }
  }
  char temp[MAX_PATH + 1] = {};
  DWORD n = GetTempPathA(sizeof(temp), temp);
  if (n > 0 && n < sizeof(temp)) folders.push_back(temp);
  // Users' profiles as a whole (C:\Users, C:\Documents and Settings).
  char profiles[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profiles))) {
    std::string parent = ParentFolder(profiles);
    if (parent.size() > 3) folders.push_back(parent);
  }
  return folders;
}

void CloseRunningClient(const std::string& title) {
  if (title.empty()) return;
  HWND window = FindWindowA(nullptr, title.c_str());
  if (!window) return;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  ScopedKernelHandle process(pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr);
  PostMessageA(window, WM_CLOSE, 0, 0);
  if (process.valid()) {
    WaitForSingleObject(process.get(), 8000);
    return;
  }
  for (int waited = 0; waited < 8000 && IsWindow(window); waited += 200) seams::SleepMs(200);
}

bool RemoveShortcuts(const UninstallData& data) {
  bool all_safe = true;
  bool shortcut_ok = IsSafeName(data.shortcutname);
  bool group_ok = IsSafeName(data.gamename);
  if (shortcut_ok) {
    CCommon::DelShortcutEx(data.shortcutname.c_str(), kUserDesktop, false);
    CCommon::DelShortcutEx(data.shortcutname.c_str(), kCommonDesktop, false);
  } else {
    all_safe = false;
  }
  if (group_ok) {
    if (shortcut_ok) {
      std::string link = data.gamename + "\\" + data.shortcutname;
      std::string uninstall_link = link + "卸载";
      for (int id : {kUserPrograms, kCommonPrograms}) {
        CCommon::DelShortcutEx(link.c_str(), id, false);
        CCommon::DelShortcutEx(uninstall_link.c_str(), id, false);
      }
    }
    CCommon::DelShortcutEx(data.gamename.c_str(), kUserPrograms, true);
    CCommon::DelShortcutEx(data.gamename.c_str(), kCommonPrograms, true);
  } else {
    all_safe = false;
  }
  return all_safe;
}

bool RemoveUninstallEntry(const UninstallData& data, const std::string& ini_path) {
  if (!IsSafeName(data.gamename)) return false;
  std::string key_path = std::string(kUninstallKeyBase) + data.gamename;
  HKEY raw = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) {
    return true;  // nothing registered (or never registered without rights)
  }
  ScopedRegKey key(raw);
  char command[1024] = {};
  DWORD size = sizeof(command) - 1;
  DWORD type = 0;
  LONG rc = RegQueryValueExA(key.get(), "UninstallString", nullptr, &type,
                             reinterpret_cast<BYTE*>(command), &size);
  key.reset();
  std::string uninstall_string = (rc == ERROR_SUCCESS) ? std::string(command) : std::string();
  if (!EntryBelongsTo(uninstall_string, ini_path)) return true;  // another copy's entry
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, key_path.c_str());
  HKEY check = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ, &check) == ERROR_SUCCESS) {
    ScopedRegKey still_there(check);
    return false;
  }
  return true;
}

std::vector<std::string> RemoveFolderTree(const std::string& folder) {
  std::vector<std::string> failed;
  if (!PathExists(folder)) return failed;
  RemoveTree(folder, &failed);
  return failed;
}

}  // namespace uninstall
