// The package builder built natively (Linux): file names, arguments and the
// terminal are UTF-8, the package's names GBK. Packages are read back in
// listed_package_posix.cpp.
#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "builder_host.h"

namespace {

// Converts all of `in`; false when a character has no spelling in `to`.
// With `replace`, such bytes become '?' instead.
bool Convert(const char* to, const char* from, std::string_view in, std::string* out,
             bool replace) {
  iconv_t cd = ::iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->clear();
  std::vector<char> buffer(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  bool ok = true;
  while (left > 0) {
    char* dst = buffer.data();
    size_t room = buffer.size();
    const size_t rc = ::iconv(cd, &src, &left, &dst, &room);
    out->append(buffer.data(), dst);
    if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
    if (!replace) {
      ok = false;
      break;
    }
    out->push_back('?');  // an invalid or cut-off sequence: skip one byte
    ++src;
    --left;
  }
  ::iconv_close(cd);
  return ok;
}

}  // namespace

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ListFolder(const std::string& folder, std::vector<FolderItem>* items, std::string* error) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
  if (!dir) return *error = "cannot list " + folder, false;
  while (const dirent* e = ::readdir(dir.get())) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    FolderItem item;
    item.path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name;
    struct stat st;
    if (::stat(item.path.c_str(), &st) != 0 || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) {
      return *error = "neither a file nor a folder: " + item.path, false;
    }
    if (!Convert("GBK", "UTF-8", name, &item.name, false)) {
      return *error = "name has no GBK spelling (the package's code page): " + item.path, false;
    }
    item.folder = S_ISDIR(st.st_mode);
    if (!item.folder) item.size = static_cast<uint64_t>(st.st_size);
    items->push_back(std::move(item));
  }
  return true;
}

std::string FolderLeafName(const std::string& folder) {
  std::string path = folder;
  while (!path.empty() && path.back() == '/') path.pop_back();
  const size_t sep = path.find_last_of('/');
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

bool ToPackageText(const std::string& argument, std::string* package_text) {
  return Convert("GBK", "UTF-8", argument, package_text, false);
}

bool Utf8ToPackageText(std::string_view utf8, std::string* package_text) {
  return Convert("GBK", "UTF-8", utf8, package_text, false);
}

std::string ForTerminal(std::string_view package_text) {
  std::string out;
  Convert("UTF-8", "GBK", package_text, &out, true);
  return out;
}
