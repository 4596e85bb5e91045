#include "config/extent_config.h"

#include <windows.h>

#include "core/gbk_text.h"
#include "core/path_join.h"
#include "system/file_attributes.h"
#include "system/profile_file.h"
#include "system/protected_folders.h"
#include "system/trace.h"

namespace {

constexpr char kSection[] = "onlinesetup_config";
constexpr char kSideFileName[] = "tovrel_onlinesetup.ini";
constexpr char kDeleteTraceName[] = "XExtentConfig::DeleteOtherFileIfNeeded";

int ReadSwitch(const std::string& ini_path, const char* key) {
  return static_cast<int>(::GetPrivateProfileIntA(kSection, key, 0, ini_path.c_str()));
}

// A switch, traced as "kvx-out: <what>:<value>".
int TracedSwitch(const std::string& ini_path, const char* key, const char* what) {
  const int value = ReadSwitch(ini_path, key);
  TraceLine(gbk::Format("kvx-out: %s:%d", what, value));
  return value;
}

// Removes each of `paths` (files or folders, as `what` says) with `remove`;
// what stays is kept in the list.
void DeleteEach(std::list<std::string>* paths, const char* what,
                bool (*remove)(const std::string& path)) {
  for (auto it = paths->begin(); it != paths->end();) {
    if (remove(*it)) {
      TraceLine(gbk::Format("kvx-log: %s : delete %s suc%s", kDeleteTraceName, what, it->c_str()));
      it = paths->erase(it);
    } else {
      TraceLine(gbk::Format("kvx-log: %s : delete %s fail %s, lasterror:%d", kDeleteTraceName, what,
                            it->c_str(), static_cast<int>(::GetLastError())));
      ++it;
    }
  }
}

bool SideFileEnabled(const std::string& ini_path) {
  int value = ReadSwitch(ini_path, "enable");
  TraceLine(gbk::Format("kvx-out: %s:%d-%s", "XExtentConfig::IsEnable", value, ini_path.c_str()));
  return value != 0;
}

}  // namespace

XExtentConfig::XExtentConfig(const std::string& ini_path, const std::string& exe_path)
    : ini_path_(ini_path), exe_path_(exe_path) {
  Collect();
  DeleteOtherFileIfNeeded();
}

bool XExtentConfig::IsEnable() const { return SideFileEnabled(ini_path_); }

bool XExtentConfig::IsAutoRun() const {
  return TracedSwitch(ini_path_, "autorun", "XExtentConfig::IsAutoRun") != 0;
}

int XExtentConfig::GetSetupPathMode() const {
  const int value = TracedSwitch(ini_path_, "setup_path_mode", "XExtentConfig::GetSetupPathMode");
  return (value == 1 || value == 2) ? value : 0;
}

std::string XExtentConfig::GetSetupPath() const {
  std::string value = ProfileFile(ini_path_, 128).ReadString(kSection, "setup_path", "");
  TraceLine(gbk::Format("kvx-out: %s:%s", "XExtentConfig::GetSetupPath", value.c_str()));
  return value;
}

bool XExtentConfig::IsDelOtherFile() const {
  // Only exactly 1 clears the folder.
  return TracedSwitch(ini_path_, "del_otherfile", "XExtentConfig::IsDelOtherFile") == 1;
}

std::string XExtentConfig::GetSetupDir() const {
  switch (GetSetupPathMode()) {
    case 1: return GetModuleDir();
    case 2: return GetSetupPath();
    default: return std::string();
  }
}

void XExtentConfig::Collect() {
  if (!IsDelOtherFile()) return;
  // The folder that holds the installer (the module folder in a real run).
  // Without one nothing is collected: never clear whatever folder is current.
  const std::string folder = ModuleDirFromPath(exe_path_);
  if (folder.empty()) return;
  // An installer saved to a drive root, the Desktop or Downloads must not
  // take the user's files with it: such folders are never cleared.
  char full[MAX_PATH * 2] = {};
  DWORD n = ::GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  const std::string checked = (n > 0 && n < sizeof full) ? std::string(full) : folder;
  if (IsProtectedFromClearing(checked, ProtectedFolders())) {
    TraceLine(gbk::Format("kvx-log: %s : refuse to clear %s", kDeleteTraceName, checked.c_str()));
    return;
  }
  WalkFolder(folder, "*.*", exe_path_, ini_path_, &files_, &folders_);
}

void XExtentConfig::DeleteOtherFileIfNeeded() {
  if (!IsDelOtherFile()) return;
  DeleteEach(&files_, "file", [](const std::string& path) { return DeleteFileForce(path); });
  DeleteEach(&folders_, "dir",
             [](const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != FALSE; });
}

std::unique_ptr<XExtentConfig> CreateExtentConfigAt(const std::string& ini_path,
                                                    const std::string& exe_path) {
  if (!SideFileEnabled(ini_path)) return nullptr;
  return std::make_unique<XExtentConfig>(ini_path, exe_path);
}

std::unique_ptr<XExtentConfig> CreateExtentConfig() {
  return CreateExtentConfigAt(JoinPath(GetModuleDir(), kSideFileName), GetModulePath());
}
