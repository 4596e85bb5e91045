// Paths and profile (INI) files: the installer's own folder, INI values read
// and written through the Windows profile functions, folder walks, and the
// probe for a volume on the machine's IDE disk.
#pragma once

#include <list>
#include <string>
#include <string_view>

// One INI file; string values come back cut to bufferSize - 1 bytes.
class ProfileFile {
 public:
  ProfileFile(std::string path, int buffer_size) : path_(std::move(path)), buffer_size_(buffer_size) {}
  std::string ReadString(const char* section, const char* key, const char* default_value) const;
  // Failures are silent; the file and section are created when missing.
  void WriteString(const char* section, const char* key, const char* value) const;
  int ReadInt(const char* section, const char* key, int default_value) const;

 private:
  std::string path_;
  int buffer_size_;
};

// The installer's folder with a trailing separator; also makes it the current
// directory. Falls back to the current directory plus "\".
std::string GetModuleDir();
// The installer's full path.
std::string GetModulePath();
// Tests: makes GetModulePath (and so GetModuleDir and the agency file-name
// parse) answer `path`; an empty path restores the real one.
void SetModulePathForTesting(const std::string& path);
// The folder part of an installer path, up to and including the last '/' (or,
// without one, the last '\'); empty when there is none.
std::string ModuleDirFromPath(const std::string& path);

// True when the path's last character is "\" or "/"; a double-byte
// character whose trail byte is 0x5C (for example 乗) is not a separator.
bool PathEndsWithSeparator(std::string_view path);

// Each pair of consecutive backslashes becomes one (pairs do not overlap),
// except the leading pair of a UNC path (\\server\share), which stays;
// returns how many pairs were replaced. (Folder and name are joined with
// core/path_join.h, which leaves exactly one at the seam.)
int CollapseDoubleBackslashes(std::string* text);

// Collects every entry below `folder` (parents before their contents); names
// starting with '.' are neither listed nor entered; the two excluded paths
// (compared ignoring case) never go into `files`.
void WalkFolder(const std::string& folder, const std::string& mask,
                const std::string& excluded_first, const std::string& excluded_second,
                std::list<std::string>* files, std::list<std::string>* folders);

// True when the volume ("C:") is a partition of the last disk the system
// enumerates as IDE. Every failure answers false.
bool IsVolumeOnIdeDisk(const std::string& volume);
