// The package builder on Windows (or Wine): names are in the ANSI code page
// (936 on the machines this is for) and packages are read back with the
// installer's own reader, the way the installer reads them.
#include <windows.h>

#include <string>

#include "core/path_join.h"
#include "core/gbk_text.h"
#include "package/archive_entry.h"
#include "package/extract_package.h"
#include "package/pack_decrypt.h"
#include "package/package_archive.h"
#include "system/ccommon.h"
#include "system/file_attributes.h"
#include "system/folder_walk.h"
#include "builder_host.h"

bool ListFolder(const std::string& folder, std::vector<FolderItem>* items, std::string* error) {
  const bool listed = VisitFolderEntries(folder + "\\*", [&](const WIN32_FIND_DATAA& data) {
    FolderItem item;
    item.name = data.cFileName;
    item.path = JoinPath(folder, item.name);
    item.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!item.folder) item.size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    items->push_back(std::move(item));
  });
  if (!listed) *error = "cannot list " + folder;
  return listed;
}

std::string FolderLeafName(const std::string& folder) {
  std::string path = folder;
  while (gbk::EndsWithPathSeparator(path)) path.pop_back();
  size_t sep = std::string::npos;
  for (char c : {'\\', '/', ':'}) {
    const size_t at = gbk::FindLastChar(path, c);
    if (at != std::string::npos && (sep == std::string::npos || at > sep)) sep = at;
  }
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

bool ToPackageText(const std::string& argument, std::string* package_text) {
  *package_text = argument;
  return true;
}

bool Utf8ToPackageText(std::string_view utf8, std::string* package_text) {
  package_text->clear();
  if (utf8.empty()) return true;
  const int n = static_cast<int>(utf8.size());
  const int wide_n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, nullptr, 0);
  if (wide_n <= 0) return false;
  std::wstring wide(static_cast<size_t>(wide_n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, &wide[0], wide_n);
  // The package's code page, whatever this machine's ANSI code page is.
  constexpr UINT kGbkCodePage = 936;
  BOOL lossy = FALSE;
  const int out_n = ::WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), wide_n,
                                          nullptr, 0, nullptr, &lossy);
  if (out_n <= 0 || lossy) return false;
  package_text->resize(static_cast<size_t>(out_n));
  ::WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), wide_n, &(*package_text)[0],
                        out_n, nullptr, &lossy);
  return !lossy;
}

std::string ForTerminal(std::string_view package_text) { return std::string(package_text); }

namespace {

std::string TempFolderPath() {
  char base[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, base);
  std::string path = std::string(base) + "pkglist_" + std::to_string(::GetCurrentProcessId());
  ::CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

// Removes the extracted pack and the temporary folder made for it.
class WinListedPackage : public ListedPackage {
 public:
  ~WinListedPackage() override {
    open.reset();
    if (pack_path.empty()) return;
    DeleteFileForce(pack_path);
    CCommon::DeleteDirectoryTree(temp.c_str());
  }
  std::string temp, pack_path;
  std::unique_ptr<OpenPack> open;
};

// Why the first member cannot be taken, or nothing when it can.
const char* FirstEntryFault(EntryStatus status) {
  switch (status) {
    case EntryStatus::kOk: return nullptr;
    case EntryStatus::kRefusedName: return "first member's name leads outside the folder";
    case EntryStatus::kArgumentError: return "package has no members";
    default: return "first member cannot be read";
  }
}

// Why extracting the member into `temp` failed, or empty when it did not.
std::string ExtractFault(ExtractStatus status, const std::string& temp) {
  switch (status) {
    case ExtractStatus::kOk: return std::string();
    case ExtractStatus::kWrongPassword: return "member does not open with the package password";
    case ExtractStatus::kDataError:
      // The reader does not test the cipher's check byte, so a wrong password
      // surfaces here, as undecodable data or a CRC mismatch.
      return "member cannot be extracted: wrong password or damaged data";
    case ExtractStatus::kCannotCreate:
    case ExtractStatus::kWriteError: return "cannot write the member into " + temp;
    default: return "first member cannot be read";
  }
}

}  // namespace

std::unique_ptr<ListedPackage> OpenListedPackage(const std::string& zip_path, std::string* error) {
  auto archive = PackageArchive::Open(zip_path, kPackagePassword);
  if (!archive) {
    *error = "cannot open " + zip_path + " as a zip archive";
    return nullptr;
  }
  ArchiveEntry entry;
  if (const char* fault = FirstEntryFault(archive->GetFirstEntry(&entry))) {
    *error = fault;
    return nullptr;
  }
  auto pack = std::make_unique<WinListedPackage>();
  pack->member = entry.name;
  pack->compressed_size = entry.compressed_size;
  pack->uncompressed_size = entry.uncompressed_size;
  pack->temp = TempFolderPath();
  archive->SetBaseFolder(pack->temp);
  const ExtractStatus xs = archive->ExtractFirstEntry(entry.name);
  archive->Close();
  pack->pack_path = JoinPath(pack->temp, entry.name);
  const std::string fault = ExtractFault(xs, pack->temp);
  if (!fault.empty()) {
    *error = fault;
    return nullptr;
  }
  // Read the way the installer reads it: from disk, a window at a time.
  pack->open = DecryptPackFile(pack->pack_path, kPackagePassword, nullptr);
  if (!pack->open) {
    *error = "pack is shorter than its 8-byte header or not whole 16-byte blocks";
    return nullptr;
  }
  pack->payload_length = pack->open->payload_length;
  pack->body_length = pack->open->body_length;
  PackBodyReader* reader = pack->open->reader.get();
  pack->read = [reader](uint64_t offset, void* dst, size_t n) { return reader->Read(offset, dst, n); };
  return pack;
}
