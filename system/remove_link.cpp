#include "system/remove_link.h"

#include <windows.h>

#include "system/scoped_handle.h"

bool RemoveLinkItself(const std::string& path) {
  ScopedFileHandle link(::CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
  if (!link) return ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (!::GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
      !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;  // the handle reached the target: leave both alone
  }
  FILE_DISPOSITION_INFO dispose = {};
  dispose.DeleteFile = TRUE;
  if (!::SetFileInformationByHandle(link.get(), FileDispositionInfo, &dispose, sizeof dispose)) {
    return false;
  }
  link.reset();  // deleted at the close
  return ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}
