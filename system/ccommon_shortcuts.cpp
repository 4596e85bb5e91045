// Shell shortcuts on the desktop and in the Start-menu programs folder.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <vector>

#include "core/gbk_text.h"
#include "core/safe_path.h"
#include "system/ccommon.h"
#include "system/scoped_handle.h"
#include "system/trace.h"

namespace {

// special\name for the shell folder `csidl`. A name from the server must not
// lead out of the folder; an empty or climbing one would aim at the folder
// itself or above it.
bool ShortcutPath(int csidl, const char* name, std::string* path) {
  char folder[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE)) return false;
  if (!name || !StaysInsideFolder(name, NameRule::kEntryPath)) return false;
  *path = std::string(folder) + "\\" + name;
  return true;
}

}  // namespace

std::string CCommon::ShortcutWorkingDirectory(const std::string& target) {
  std::string dir = target;
  if (!dir.empty() && dir[0] >= 'a' && dir[0] <= 'z') dir[0] = static_cast<char>(dir[0] - 'a' + 'A');
  size_t cut = gbk::FindLastChar(dir, '\\');
  if (cut != std::string::npos) dir.resize(cut);
  return dir;
}

bool CCommon::CreateShortcut(const char* name, const char* target, int kind, bool folder_only) {
  ScopedComInit com;
  if (!com.ok()) return false;
  std::string path;
  const int csidl = kind == CSIDL_PROGRAMS ? CSIDL_PROGRAMS : CSIDL_DESKTOPDIRECTORY;
  if (!ShortcutPath(csidl, name, &path)) return false;
  if (folder_only) {
    MakeDirPath(path.c_str());
    return true;
  }
  if (!target) return false;
  path += ".lnk";

  ScopedComPtr<IShellLinkA> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.receive_void()))) {
    return false;
  }
  link->SetPath(target);
  link->SetWorkingDirectory(ShortcutWorkingDirectory(target).c_str());
  ScopedComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.receive_void()))) return false;

  int wide_size = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (wide_size <= 0) return false;
  std::vector<wchar_t> wide(static_cast<size_t>(wide_size));
  ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), wide_size);
  return SUCCEEDED(file->Save(wide.data(), FALSE));
}

void CCommon::DelShortcutEx(const char* name, int csidl, bool delete_folder) {
  ScopedComInit com;
  if (!com.ok()) return;
  std::string path;
  if (!ShortcutPath(csidl, name, &path)) return;
  if (delete_folder) {
    DeleteDirectoryTree(path.c_str());
    return;
  }
  path += ".lnk";
  BOOL deleted = ::DeleteFileA(path.c_str());
  DWORD error = ::GetLastError();
  TraceLine(gbk::Format("%s - iid(%d):iDelRet = %d, lasterror = %d, dir = %s",
                        "CCommon::DelShortcutEx", csidl, deleted ? 1 : 0, static_cast<int>(error),
                        path.c_str()));
}
