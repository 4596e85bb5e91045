#include "net/cache_location.h"

#include <windows.h>

#include <shlwapi.h>

#include "core/path_join.h"
#include "system/profile_file.h"

namespace {

bool FolderExists(const std::string& path) { return ::PathFileExistsA(path.c_str()) != FALSE; }

}  // namespace

std::string CacheFilePath(const std::string& host_key, const char* agency_key) {
  char temp[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathA(MAX_PATH, temp);
  // Without one, the installer's own folder (the current directory stays).
  std::string folder =
      (n == 0 || n > MAX_PATH) ? ModuleDirFromPath(GetModulePath()) : std::string(temp, n);
  if (folder.empty() || !FolderExists(folder)) return folder;

  folder = JoinPath(folder, host_key);  // unchanged without a host key
  if (!FolderExists(folder)) ::CreateDirectoryA(folder.c_str(), nullptr);
  if (!FolderExists(folder)) return folder;

  const bool agency = agency_key != nullptr && agency_key[0] != '\0';
  return JoinPath(folder, agency ? "cachefile_" + std::string(agency_key) + ".cfg"
                                 : std::string("cachefile.cfg"));
}
