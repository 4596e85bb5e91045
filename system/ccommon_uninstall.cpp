// The uninstall entry: under HKEY_LOCAL_MACHINE, or under HKEY_CURRENT_USER
// when the machine's list refuses it.
#include <windows.h>

#include "core/gbk_text.h"
#include "core/safe_path.h"
#include "core/uninstall_contract.h"
#include "system/ccommon.h"
#include "system/scoped_handle.h"

namespace {

bool Missing(const char* text) { return !text || !*text; }

void SetText(HKEY key, const char* name, const std::string& value) {
  // Stored with its NUL: length + 1.
  ::RegSetValueExA(key, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

void SetFlag(HKEY key, const char* name) {
  DWORD one = 1;
  ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
}

// Opens the entry's key under `root` for writing, creating it when missing
// (an existing key is opened as it is).
ScopedRegKey OpenForWriting(HKEY root, const std::string& path) {
  HKEY raw = nullptr;
  if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &raw, nullptr) != ERROR_SUCCESS) {
    return ScopedRegKey();
  }
  return ScopedRegKey(raw);
}

}  // namespace

std::string CCommon::UninstallKeyPath(const std::string& key_name) {
  return uninstall_contract::kUninstallKeyPrefix + key_name;
}

std::string CCommon::UninstallCommand(const std::string& uninstaller, const char* argument) {
  if (Missing(argument)) return gbk::Format("\"%s\"", uninstaller.c_str());
  return gbk::Format("\"%s\" \"/U:%s\"", uninstaller.c_str(), argument);
}

std::string CCommon::ReadUninstallString(HKEY root, const std::string& key_name, bool* exists) {
  if (exists) *exists = false;
  const ScopedRegKey key = OpenRegKey(root, UninstallKeyPath(key_name).c_str(), KEY_READ);
  if (!key) return std::string();
  if (exists) *exists = true;
  std::string value;
  ReadRegText(key.get(), "UninstallString", 1023, &value);
  return value;
}

void CCommon::RegisterUninstall(const char* key_name, const char* display_name,
                                const char* publisher, const char* contact,
                                const char* uninstaller_path, const char* uninstall_argument) {
  // An empty key name would put the values on the Uninstall key itself. The
  // other texts may be empty (a description without "Publisher" is valid); the
  // entry is still written so the product can be removed.
  if (Missing(key_name) || !display_name || !publisher || !contact || !uninstaller_path) return;
  // A nested key is listed by nobody and refused by the uninstaller.
  if (!StaysInsideFolder(key_name, NameRule::kSingleName)) return;
  const std::string path = UninstallKeyPath(key_name);
  const std::string command = UninstallCommand(uninstaller_path, uninstall_argument);
  // Without administrator rights the machine's list refuses the entry; the
  // user's own list (same key path) still lets Windows remove the game.
  ScopedRegKey key = OpenForWriting(HKEY_LOCAL_MACHINE, path);
  if (key) {
    // The entry an earlier run without rights left for this same copy would
    // show the game twice.
    if (gbk::EqualsIgnoreCase(ReadUninstallString(HKEY_CURRENT_USER, key_name), command)) {
      ::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    }
  } else {
    key = OpenForWriting(HKEY_CURRENT_USER, path);
    if (!key) return;
  }
  SetText(key.get(), "DisplayName", display_name);
  SetFlag(key.get(), "NoModify");
  SetFlag(key.get(), "NoRepair");
  SetText(key.get(), "UninstallString", command);
  SetText(key.get(), "Publisher", publisher);
  SetText(key.get(), "Contact", contact);
  SetText(key.get(), "DisplayIcon", UninstallCommand(uninstaller_path, nullptr));
}
