#include "system/folder_walk.h"

#include <cstring>

#include "system/scoped_handle.h"

bool VisitFolderEntries(const std::string& pattern,
                        const std::function<void(const WIN32_FIND_DATAA&)>& visit) {
  WIN32_FIND_DATAA found;
  ScopedFindHandle search(::FindFirstFileA(pattern.c_str(), &found));
  if (!search) return false;
  do {
    if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
    visit(found);
  } while (::FindNextFileA(search.get(), &found));
  return true;
}
