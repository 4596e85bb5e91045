// The uninstall entry under HKEY_LOCAL_MACHINE.
#include <windows.h>

#include <cstring>

#include "core/gbk_text.h"
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

}  // namespace

std::string CCommon::UninstallCommand(const std::string& uninstaller, const char* argument) {
  if (Missing(argument)) return gbk::Format("\"%s\"", uninstaller.c_str());
  return gbk::Format("\"%s\" \"/U:%s\"", uninstaller.c_str(), argument);
}

void CCommon::RegisterUninstall(const char* key_name, const char* display_name,
                                const char* publisher, const char* contact,
                                const char* uninstaller_path, const char* uninstall_argument) {
  // An empty key name would put the values on the Uninstall key itself. The
  // other texts may be empty (a description without "Publisher" is valid); the
  // entry is still written so the product can be removed.
  if (Missing(key_name) || !display_name || !publisher || !contact || !uninstaller_path) return;
  const std::string path =
      std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + key_name;
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &raw) != ERROR_SUCCESS) {
    raw = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &raw, nullptr) != ERROR_SUCCESS) {
      return;
    }
  }
  ScopedRegKey key(raw);
  SetText(key.get(), "DisplayName", display_name);
  SetFlag(key.get(), "NoModify");
  SetFlag(key.get(), "NoRepair");
  SetText(key.get(), "UninstallString", UninstallCommand(uninstaller_path, uninstall_argument));
  SetText(key.get(), "Publisher", publisher);
  SetText(key.get(), "Contact", contact);
  SetText(key.get(), "DisplayIcon", UninstallCommand(uninstaller_path, nullptr));
}
