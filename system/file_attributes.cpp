#include "system/file_attributes.h"

#include <windows.h>

bool PathExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path) { return PathExists(path) && !IsFolder(path); }

bool ClearReadOnly(const std::string& path, ReadOnlyScope scope) {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_READONLY)) return false;
  const bool folder = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool link = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (folder && (link || scope != ReadOnlyScope::kFilesAndFolders)) return false;
  if (!folder && link && scope != ReadOnlyScope::kFilesAndLinks) return false;
  return ::SetFileAttributesA(path.c_str(), a & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0;
}

bool ClearMarksForReplacing(const std::string& path) {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  constexpr DWORD kRefusing = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) || !(a & kRefusing)) return false;
  return ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool DeleteFileForce(const std::string& path) {
  if (::DeleteFileA(path.c_str())) return true;
  const DWORD error = ::GetLastError();
  if (error == ERROR_ACCESS_DENIED && ClearReadOnly(path)) return ::DeleteFileA(path.c_str()) != 0;
  ::SetLastError(error);
  return false;
}
