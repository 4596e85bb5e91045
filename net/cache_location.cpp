#include "net/cache_location.h"

#include <windows.h>

#include <shlwapi.h>

#include <cstring>

#include "config/gbk_text.h"
#include "config/profile_file.h"

namespace {

constexpr char kSeparators[] = "/\\:*?\"<>|";
constexpr size_t kMaxHostKeyBytes = 200;

bool IsSeparatorOrDot(char c) {
  return c == '.' || (c != '\0' && std::strchr(kSeparators, c) != nullptr);
}

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

std::string UrlCacheKey(const std::string& url) {
  std::string key = gbk::ToLower(url);

  const char kScheme[] = "http://";
  size_t scheme = gbk::Find(key, kScheme);
  if (scheme != std::string::npos) key.erase(0, scheme + sizeof(kScheme) - 1);

  size_t start = 0;
  while (start < key.size() && IsSeparatorOrDot(key[start])) ++start;
  key.erase(0, start);

  // '/' is below the GBK trail-byte range, so a plain search is safe here.
  size_t slash = key.find('/');
  if (slash != std::string::npos) key.erase(slash);

  // Walk whole characters: '\\' and '|' can be trail bytes of a double-byte
  // character and must stay untouched there.
  for (size_t i = 0; i < key.size();) {
    if (gbk::IsLeadByte(static_cast<unsigned char>(key[i])) && i + 1 < key.size()) {
      i += 2;
      continue;
    }
    if (IsSeparatorOrDot(key[i])) key[i] = '_';
    ++i;
  }

  // Cut on a whole character so the folder name never ends in half of one.
  return std::string(gbk::CutToBytes(key, kMaxHostKeyBytes));
}

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
