#include "system/protected_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "core/gbk_text.h"
#include "system/profile_file.h"

namespace {

// "\" separators, a trailing one, no long-path prefix, ASCII lower case.
std::string Normalised(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';  // '/' is never a trail byte
  if (path.compare(0, 8, "\\\\?\\UNC\\") == 0) {
    path.erase(2, 6);
  } else if (path.compare(0, 4, "\\\\?\\") == 0 || path.compare(0, 4, "\\\\.\\") == 0) {
    path.erase(0, 4);
  }
  if (!PathEndsWithSeparator(path)) path += '\\';
  return gbk::ToLower(path);
}

// "x:\", "\\server\" or "\\server\share\" (after Normalised).
bool IsRoot(const std::string& path) {
  if (path.size() <= 3 && path.size() >= 2 && path[1] == ':') return true;
  if (path.compare(0, 2, "\\\\") != 0) return path == "\\";
  return gbk::FindPathSeparators(path).size() <= 4;  // the two leading ones count
}

std::string ShellFolder(int csidl) {
  char buf[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
  return buf;
}

std::string EnvironmentFolder(const char* name) {
  char buf[MAX_PATH] = {};
  DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
  return (n == 0 || n >= sizeof buf) ? std::string() : std::string(buf);
}

// Downloads has no CSIDL, only a known-folder id.
std::string DownloadsFolder() {
  static const GUID kDownloads = {
      0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};
  std::string path;
  PWSTR wide = nullptr;
  if (SUCCEEDED(::SHGetKnownFolderPath(kDownloads, 0, nullptr, &wide)) && wide) {
    char buf[MAX_PATH * 2] = {};
    if (::WideCharToMultiByte(CP_ACP, 0, wide, -1, buf, sizeof buf, nullptr, nullptr) > 0)
      path = buf;
  }
  if (wide) ::CoTaskMemFree(wide);
  return path;
}

}  // namespace

std::vector<std::string> ProtectedFolders() {
  std::vector<std::string> folders;
  auto add = [&](const std::string& path) {
    if (!path.empty()) folders.push_back(path);
  };
  for (int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES,
                    CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_COMMON_APPDATA,
                    CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_MYMUSIC,
                    CSIDL_MYPICTURES, CSIDL_MYVIDEO, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA,
                    CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_DOCUMENTS, CSIDL_PROGRAMS,
                    CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU,
                    CSIDL_STARTUP})
    add(ShellFolder(csidl));
  // A 32-bit program on 64-bit Windows is told the x86 Program Files only.
  for (const char* name : {"ProgramW6432", "ProgramFiles", "ProgramFiles(x86)", "ProgramData",
                           "SystemRoot", "USERPROFILE"})
    add(EnvironmentFolder(name));
  add(DownloadsFolder());
  const std::string profile = ShellFolder(CSIDL_PROFILE);
  if (!profile.empty()) add(profile + "\\Downloads");
  char temp[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathA(sizeof temp, temp);
  if (n > 0 && n < sizeof temp) add(temp);
  return folders;
}

bool IsProtectedFromClearing(const std::string& folder,
                             const std::vector<std::string>& protected_folders) {
  const std::string candidate = Normalised(folder);
  if (IsRoot(candidate)) return true;
  for (const std::string& p : protected_folders) {
    // Both end in a real separator, so a prefix match is the folder itself
    // or one of its parents.
    const std::string guarded = Normalised(p);
    if (guarded.compare(0, candidate.size(), candidate) == 0) return true;
  }
  return false;
}
