#include "net/cache_location.h"

#include <windows.h>

#include <shlwapi.h>

#include <cstring>

#include "core/gbk_text.h"
#include "system/profile_file.h"

namespace {

bool EndsWithBackslash(const std::string& path) {
  return !path.empty() && gbk::FindLastChar(path, '\\') == path.size() - 1;
}

// The installer's own folder, without touching the current directory.
std::string ModuleFolder() {
  std::string path = GetModulePath();
  size_t sep = gbk::FindLastChar(path, '\\');
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

bool FolderExists(const std::string& path) { return ::PathFileExistsA(path.c_str()) != FALSE; }

}  // namespace

std::string CacheFilePath(const std::string& host_key, const char* agency_key) {
  char temp[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathA(MAX_PATH, temp);
  std::string folder = (n == 0 || n > MAX_PATH) ? ModuleFolder() : std::string(temp, n);
  if (folder.empty() || !FolderExists(folder)) return folder;

  if (!host_key.empty()) {
    if (!EndsWithBackslash(folder)) folder += '\\';
    folder += host_key;
  }
  if (!FolderExists(folder)) ::CreateDirectoryA(folder.c_str(), nullptr);
  if (!FolderExists(folder)) return folder;

  if (!EndsWithBackslash(folder)) folder += '\\';
  if (agency_key != nullptr && agency_key[0] != '\0') return folder + "cachefile_" + agency_key + ".cfg";
  return folder + "cachefile.cfg";
}
