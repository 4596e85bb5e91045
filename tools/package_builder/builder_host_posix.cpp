// The package builder built natively (Linux): file names, arguments and the
// terminal are UTF-8, the package's names GBK. Packages are read back with
// minizip and the pack's own table reader, as the installer reads them.
#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>

#include <unzip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/aes128.h"
#include "core/archive_entry.h"
#include "core/pack_directory.h"
#include "core/pack_key.h"
#include "core/safe_path.h"
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
    if (rc != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
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

struct ZipCloser {
  void operator()(void* zip) const { unzClose(zip); }
};
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

class PosixListedPackage : public ListedPackage {
 public:
  std::unique_ptr<std::FILE, FileCloser> file;  // a tmpfile(): gone when closed
  aes128::KeySchedule key{};
};

// Writes the current member to `out`; the message on failure.
bool CopyMember(void* zip, std::FILE* out, std::string* error) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const int got = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (got < 0) break;
    if (got == 0) {
      // The CRC is checked when the member is closed.
      if (unzCloseCurrentFile(zip) == UNZ_OK) return true;
      *error = "member cannot be extracted: wrong password or damaged data";
      return false;
    }
    if (std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out) != static_cast<size_t>(got)) {
      unzCloseCurrentFile(zip);
      *error = "cannot write the member into a temporary file";
      return false;
    }
  }
  unzCloseCurrentFile(zip);
  *error = "member cannot be extracted: wrong password or damaged data";
  return false;
}

}  // namespace

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ListFolder(const std::string& folder, std::vector<FolderItem>* items, std::string* error) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    *error = "cannot list " + folder;
    return false;
  }
  bool ok = true;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    FolderItem item;
    item.path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name;
    struct stat st;
    if (::stat(item.path.c_str(), &st) != 0 || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) {
      *error = "neither a file nor a folder: " + item.path;
      ok = false;
      break;
    }
    if (!Convert("GBK", "UTF-8", name, &item.name, false)) {
      *error = "name has no GBK spelling (the package's code page): " + item.path;
      ok = false;
      break;
    }
    item.folder = S_ISDIR(st.st_mode);
    if (!item.folder) item.size = static_cast<uint64_t>(st.st_size);
    items->push_back(std::move(item));
  }
  ::closedir(dir);
  return ok;
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

std::unique_ptr<ListedPackage> OpenListedPackage(const std::string& zip_path, std::string* error) {
  std::unique_ptr<void, ZipCloser> zip(unzOpen64(zip_path.c_str()));
  unz_global_info64 global{};
  if (!zip || unzGetGlobalInfo64(zip.get(), &global) != UNZ_OK) {
    *error = "cannot open " + zip_path + " as a zip archive";
    return nullptr;
  }
  if (global.number_entry == 0) {
    *error = "package has no members";
    return nullptr;
  }
  unz_file_info64 info{};
  std::vector<char> raw(65536 + 1, '\0');
  if (unzGoToFirstFile(zip.get()) != UNZ_OK ||
      unzGetCurrentFileInfo64(zip.get(), &info, raw.data(), 65536, nullptr, 0, nullptr, 0) !=
          UNZ_OK) {
    *error = "first member cannot be read";
    return nullptr;
  }
  auto pack = std::make_unique<PosixListedPackage>();
  pack->member = SanitizeMemberName(
      std::string_view(raw.data(), std::min<size_t>(info.size_filename, 65536)));
  if (!StaysInsideFolder(pack->member) || pack->member.size() >= kArchiveNameBytes ||
      pack->member.find('\0') != std::string::npos) {
    *error = "first member's name leads outside the folder";
    return nullptr;
  }
  pack->compressed_size = static_cast<int32_t>(std::min<uint64_t>(info.compressed_size, INT32_MAX));
  pack->uncompressed_size =
      static_cast<int32_t>(std::min<uint64_t>(info.uncompressed_size, INT32_MAX));
  // minizip would copy a member of any other method as if it were stored.
  if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) {
    *error = "member cannot be extracted: wrong password or damaged data";
    return nullptr;
  }
  if (unzOpenCurrentFilePassword(zip.get(), (info.flag & 1) ? kPackagePassword : nullptr) !=
      UNZ_OK) {
    *error = "first member cannot be read";
    return nullptr;
  }
  pack->file.reset(std::tmpfile());
  if (!pack->file) {
    unzCloseCurrentFile(zip.get());
    *error = "cannot write the member into a temporary file";
    return nullptr;
  }
  if (!CopyMember(zip.get(), pack->file.get(), error)) return nullptr;
  std::FILE* f = pack->file.get();
  uint8_t header[kPackHeaderSize];
  const bool sized = std::fflush(f) == 0 && ::fseeko(f, 0, SEEK_END) == 0;
  const off_t size = sized ? ::ftello(f) : -1;
  if (size < static_cast<off_t>(kPackHeaderSize) ||
      static_cast<uint64_t>(size) - kPackHeaderSize > 0xFFFFFFFFull ||
      (static_cast<uint64_t>(size) - kPackHeaderSize) % aes128::kBlockSize != 0 ||
      ::fseeko(f, 0, SEEK_SET) != 0 || std::fread(header, 1, sizeof header, f) != sizeof header) {
    *error = "pack is shorter than its 8-byte header or not whole 16-byte blocks";
    return nullptr;
  }
  pack->body_length = static_cast<uint64_t>(size) - kPackHeaderSize;
  pack->payload_length = uint32_t{header[0]} | (uint32_t{header[1]} << 8) |
                         (uint32_t{header[2]} << 16) | (uint32_t{header[3]} << 24);
  const auto raw_key = DerivePackKey(kPackagePassword);
  aes128::ExpandDecryptKey(raw_key.data(), &pack->key);
  PosixListedPackage* p = pack.get();
  // Whole blocks around the range, decrypted alone (ECB).
  pack->read = [p](uint64_t offset, void* dst, size_t n) {
    if (offset > p->body_length || n > p->body_length - offset) return false;
    if (n == 0) return true;
    const uint64_t start = offset / aes128::kBlockSize * aes128::kBlockSize;
    const uint64_t end = (offset + n + aes128::kBlockSize - 1) / aes128::kBlockSize *
                         aes128::kBlockSize;
    std::vector<uint8_t> blocks(static_cast<size_t>(end - start));
    if (::fseeko(p->file.get(), static_cast<off_t>(kPackHeaderSize + start), SEEK_SET) != 0 ||
        std::fread(blocks.data(), 1, blocks.size(), p->file.get()) != blocks.size()) {
      return false;
    }
    aes128::DecryptEcb(p->key, blocks.data(), blocks.size());
    std::memcpy(dst, blocks.data() + (offset - start), n);
    return true;
  };
  return pack;
}
