// Folder trees: creation along a path and removal of a whole tree.
#include <windows.h>

#include "core/gbk_text.h"
#include "system/profile_file.h"
#include "system/remove_link.h"
#include "system/ccommon.h"
#include "system/folder_walk.h"

namespace {

bool IsLink(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void DeleteTree(const std::string& folder) {
  const std::string base = PathEndsWithSeparator(folder) ? folder : folder + "\\";
  VisitFolderEntries(base + "*", [&](const WIN32_FIND_DATAA& found) {
    const std::string entry = base + found.cFileName;
    if (IsLink(found.dwFileAttributes)) {
      RemoveLinkItself(entry);
    } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      DeleteTree(entry);
    } else {
      ::DeleteFileA(entry.c_str());
    }
  });
  ::RemoveDirectoryA(folder.c_str());
}

}  // namespace

std::vector<std::string> CCommon::MakeDirPathSteps(const std::string& path) {
  std::vector<std::string> steps;
  const std::string work = path + "\\";
  for (size_t at : gbk::FindPathSeparators(work)) steps.push_back(work.substr(0, at + 1));
  return steps;
}

bool CCommon::MakeDirPath(const char* path) {
  if (!path) return true;
  for (const std::string& step : MakeDirPathSteps(path)) {
    ::CreateDirectoryA(step.c_str(), nullptr);  // existing folders and roots fail harmlessly
  }
  return true;
}

void CCommon::DeleteDirectoryTree(const char* folder) {
  if (!folder || !*folder) return;
  // A folder that is itself a link goes as a link; its target is left alone.
  std::string bare = folder;
  while (bare.size() > 3 && PathEndsWithSeparator(bare)) bare.pop_back();
  if (IsLink(::GetFileAttributesA(bare.c_str())))
    RemoveLinkItself(bare);
  else
    DeleteTree(folder);
}
