#include "system/profile_file.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "core/buffer_limits.h"
#include "core/gbk_text.h"
#include "core/path_join.h"
#include "system/folder_walk.h"

namespace {

// Set by tests so that code depending on the installer's own name can be
// exercised without renaming the test program.
std::string g_module_path_override;

// The profile functions never return more than this many characters.
constexpr DWORD kLargestProfileValue = 65536;

}  // namespace

std::string ProfileFile::ReadString(const char* section, const char* key,
                                    const char* default_value) const {
  if (buffer_size_ <= 1) return std::string();
  // Read the whole value first and cut it ourselves: the profile functions cut
  // on a byte count and may leave half a double-byte character at the end.
  DWORD size = static_cast<DWORD>(buffer_size_) < 512 ? 512 : static_cast<DWORD>(buffer_size_);
  std::string value;
  for (;;) {
    std::vector<char> buf(size, '\0');
    ::GetPrivateProfileStringA(section, key, default_value ? default_value : "", buf.data(), size,
                               path_.c_str());
    value.assign(buf.data(), ::strnlen(buf.data(), size));
    // A value that filled the buffer may have been cut; try again larger.
    if (value.size() + 1 < size || size >= kLargestProfileValue) break;
    size *= 2;
  }
  return std::string(gbk::CutToBytes(value, static_cast<size_t>(buffer_size_) - 1));
}

void ProfileFile::WriteString(const char* section, const char* key, const char* value) const {
  ::WritePrivateProfileStringA(section, key, value, path_.c_str());
}

int ProfileFile::ReadInt(const char* section, const char* key, int default_value) const {
  return static_cast<int>(::GetPrivateProfileIntA(section, key, default_value, path_.c_str()));
}

std::string ModuleDirFromPath(const std::string& path) {
  size_t sep = path.find_last_of('/');  // '/' is never part of a double-byte character
  if (sep == std::string::npos) sep = gbk::FindLastChar(path, '\\');
  if (sep == std::string::npos || path.size() <= 1) return std::string();
  return path.substr(0, sep + 1);
}

std::string GetModulePath() {
  if (!g_module_path_override.empty()) return g_module_path_override;
  // A 259-byte path fits the whole buffer with its NUL; a cut one (older
  // systems leave it unterminated) still ends inside the buffer.
  char buf[kPathBytes] = {};
  ::GetModuleFileNameA(::GetModuleHandleA(nullptr), buf, sizeof buf);
  return std::string(buf, ::strnlen(buf, sizeof buf));
}

void SetModulePathForTesting(const std::string& path) { g_module_path_override = path; }

std::string GetModuleDir() {
  std::string dir = ModuleDirFromPath(GetModulePath());
  if (!dir.empty()) {
    ::SetCurrentDirectoryA(dir.c_str());
    return dir;
  }
  // Room for any current directory: a longer one must not come back as "\".
  char cwd[MAX_PATH + 1] = {};
  DWORD got = ::GetCurrentDirectoryA(sizeof cwd - 1, cwd);
  if (got >= sizeof cwd - 1) cwd[0] = '\0';
  return std::string(cwd) + "\\";
}

int CollapseDoubleBackslashes(std::string* text) {
  if (!text) return 0;
  std::string out;
  out.reserve(text->size());
  int pairs = 0;
  const std::string& s = *text;
  size_t i = 0;
  // \\server\share names a share; one backslash less names a folder
  // on the current drive.
  if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
    out.append("\\\\");
    i = 2;
  }
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    // A double-byte character may end in 0x5C; it is not a separator.
    if (gbk::IsLeadByte(c) && i + 1 < s.size()) {
      out.append(s, i, 2);
      i += 2;
    } else if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\') {
      out.push_back('\\');
      ++pairs;
      i += 2;
    } else {
      out.push_back(s[i]);
      ++i;
    }
  }
  *text = std::move(out);
  return pairs;
}

bool PathEndsWithSeparator(std::string_view path) { return gbk::EndsWithPathSeparator(path); }

void WalkFolder(const std::string& folder, const std::string& mask,
                const std::string& excluded_first, const std::string& excluded_second,
                std::list<std::string>* files, std::list<std::string>* folders) {
  VisitFolderEntries(JoinPath(folder, mask), [&](const WIN32_FIND_DATAA& found) {
    if (found.cFileName[0] == '.') return;
    std::string full = JoinPath(folder, found.cFileName);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (folders) folders->push_back(full);
      // A linked folder is listed (removing it removes only the link) but
      // never entered: its contents live somewhere else.
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WalkFolder(full, "*.*", excluded_first, excluded_second, files, folders);
      }
    } else if (!gbk::EqualsIgnoreCase(full, excluded_first) &&
               !gbk::EqualsIgnoreCase(full, excluded_second)) {
      if (files) files->push_back(full);
    }
  });
}
