#include "net/target_file.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "core/gbk_text.h"
#include "net/download_hooks.h"

namespace {

bool CreateParentFolder(const std::string& path) {
  size_t sep = gbk::FindLastChar(path, '\\');
  if (sep == std::string::npos || sep == 0) return false;
  return ::CreateDirectoryA(path.substr(0, sep).c_str(), nullptr) != FALSE;
}

FILE* OpenTargetOnce(const std::string& path, bool append) {
  return append ? ::fopen(path.c_str(), "ab") : OpenForRewrite(path);
}

}  // namespace

uint64_t TargetFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return UINT64_MAX;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Shared like a C runtime "wb" open. A "wb" open empties even a file it has
// just made, and Wine does that with a truncation; ext4 then writes the whole
// file out when it is closed (about 0.1 s for 256 MiB, spent after the last
// byte arrived). So the file is opened as it is and emptied only when it
// holds something.
FILE* OpenForRewrite(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size = {};
  const int fd = (::GetFileSizeEx(h, &size) && (size.QuadPart == 0 || ::SetEndOfFile(h)))
                     ? ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY)
                     : -1;
  if (fd < 0) {
    ::CloseHandle(h);
    return nullptr;
  }
  FILE* file = ::_fdopen(fd, "wb");
  if (file == nullptr) ::_close(fd);  // closes the handle too
  return file;
}

ScopedStdioFile OpenTarget(const std::string& path, bool append) {
  ScopedStdioFile file(OpenTargetOnce(path, append));
  if (!file) {
    CreateParentFolder(path);
    file.reset(OpenTargetOnce(path, append));
  }
  return file;
}

bool CloseChecked(ScopedStdioFile* file) {
  FILE* f = file->release();
  return f == nullptr || download_hooks::CloseFile(f) == 0;
}
