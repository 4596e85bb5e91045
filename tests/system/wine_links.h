// Test helper: a folder link inside a test tree. Wine 8 cannot create
// junctions or symbolic links through Win32, but it shows a host symbolic
// link to a folder as a folder with FILE_ATTRIBUTE_REPARSE_POINT, which is
// what the code under test looks at. The link is made by the host's ln.
#pragma once

#include <windows.h>

#include <string>

// False when not running under Wine or the link could not be made.
inline bool MakeHostFolderLink(const std::string& link, const std::string& target) {
  using ToUnixFn = char*(__cdecl*)(const wchar_t*);
  auto to_unix = reinterpret_cast<ToUnixFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!to_unix) return false;
  auto convert = [&](const std::string& path, std::string* out) {
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    char* unix_path = to_unix(wide);
    if (!unix_path) return false;
    *out = unix_path;
    HeapFree(GetProcessHeap(), 0, unix_path);
    return true;
  };
  std::string unix_link, unix_target;
  if (!convert(link, &unix_link) || !convert(target, &unix_target)) return false;
  std::string command = "/bin/ln -s \"" + unix_target + "\" \"" + unix_link + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  // Wine does not hand back real handles for a host process (closing them
  // would close unrelated handles of this process), so the result is polled.
  for (int i = 0; i < 200; ++i) {
    DWORD attributes = GetFileAttributesA(link.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    Sleep(10);
  }
  return false;
}

// Removes a link made by MakeHostFolderLink (Wine cannot remove it itself).
inline void RemoveHostFolderLink(const std::string& link) {
  using ToUnixFn = char*(__cdecl*)(const wchar_t*);
  auto to_unix = reinterpret_cast<ToUnixFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!to_unix) return;
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
  char* unix_path = to_unix(wide);
  if (!unix_path) return;
  std::string command = std::string("/bin/rm -f \"") + unix_path + "\"";
  HeapFree(GetProcessHeap(), 0, unix_path);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    for (int i = 0; i < 200 && GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
      Sleep(10);
    }
  }
}
