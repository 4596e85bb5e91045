// package_builder build <folder> <out.zip> [--top NAME] [--member NAME]
// package_builder list <package.zip>
//
// build: every file below <folder> becomes a pack entry named NAME\<relative
// path> (NAME defaults to the folder's own name), empty folders become entries
// ending in "\". The pack is encrypted under the key derived from the package
// password and stored, deflated and PKWARE-encrypted, as the only member of
// the zip (default member name game.pak).
// list: prints the member and every pack entry (name, offset, size) and checks
// that each entry's data lies inside the body and its path stays inside the
// install folder. Exit 0 when the package is sound, 1 on any defect, 2 on
// usage errors.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "core/gbk_text.h"
#include "core/aes128.h"
#include "package/extract_package.h"
#include "core/pack_directory.h"
#include "package/pack_decrypt.h"
#include "core/pack_key.h"
#include "core/pack_writer.h"
#include "package/package_archive.h"
#include "core/safe_path.h"
#include "package/zip_writer.h"
#include "system/scoped_handle.h"

namespace {

struct SourceFile {
  std::string relative;  // "\" separators; ends in "\" for an empty folder
  std::string path;      // empty for a folder
  uint64_t size = 0;
};

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "package_builder: %s\n", message.c_str());
  return code;
}

bool IsFolder(const std::string& path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Collects files and empty folders below `folder`, depth first.
bool Walk(const std::string& folder, const std::string& relative, std::vector<SourceFile>* out,
          std::string* error) {
  WIN32_FIND_DATAA data;
  ScopedFindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &data));
  if (!find) {
    *error = "cannot list " + folder;
    return false;
  }
  bool empty = true;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    empty = false;
    const std::string rel = relative.empty() ? name : relative + "\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!Walk(folder + "\\" + name, rel, out, error)) return false;
    } else {
      out->push_back({rel, folder + "\\" + name,
                      (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow});
    }
  } while (::FindNextFileA(find.get(), &data));
  if (empty && !relative.empty()) out->push_back({relative + "\\", "", 0});
  return true;
}

// The entry name without its top-level folder, as the installer writes it
// below the install folder: from its first separator on, empty without one.
std::string InstalledPath(const std::string& entry_name) {
  const size_t sep = entry_name.find('\\');
  return sep == std::string::npos ? std::string() : entry_name.substr(sep);
}

std::string LeafName(std::string folder) {
  while (gbk::EndsWithPathSeparator(folder)) folder.pop_back();
  size_t sep = folder.find_last_of("\\/:");
  std::string leaf = sep == std::string::npos ? folder : folder.substr(sep + 1);
  return leaf.empty() ? "Game" : leaf;
}

int Build(const std::string& folder, const std::string& out_zip, std::string top,
          const std::string& member) {
  if (!IsFolder(folder)) return Fail(1, "folder not found: " + folder);
  // The installer extracts the member under its cleaned name and refuses one
  // that would land outside the install folder or does not fit its name field.
  const std::string extracted = SanitizeMemberName(member);
  if (extracted.empty() || extracted.size() >= sizeof(ArchiveEntry::name) ||
      gbk::EndsWithPathSeparator(extracted) || !StaysInsideFolder(extracted)) {
    return Fail(1, "member name cannot be extracted into the install folder: " + member);
  }
  if (top.empty()) top = LeafName(folder);
  std::vector<SourceFile> files;
  std::string error;
  if (!Walk(folder, "", &files, &error)) return Fail(1, error);
  // A pack without entries is refused by the installer ("failed to extract").
  if (files.empty()) return Fail(1, "folder is empty, nothing to pack: " + folder);
  std::sort(files.begin(), files.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.relative < b.relative; });
  std::vector<PackInput> inputs;
  for (const SourceFile& f : files) {
    inputs.push_back({top + "\\" + f.relative, f.size});
    // The installer skips such entries silently; refuse them here instead.
    if (!StaysInsideFolder(InstalledPath(inputs.back().name))) {
      return Fail(1, "entry would not install inside the install folder: " + inputs.back().name);
    }
  }

  const std::string temp = out_zip + ".pack.tmp";
  // Declared before the handle so that the handle is closed first: an open
  // file cannot be deleted, and a refused build must not leave it behind.
  struct RemoveTemp {
    std::string path;
    ~RemoveTemp() {
      if (!path.empty()) ::DeleteFileA(path.c_str());
    }
  } remove_temp;
  ScopedFileHandle pack(::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (!pack) return Fail(1, "cannot write " + out_zip);
  remove_temp.path = temp;

  PackWriter writer(kPackagePassword, [&pack](const void* d, size_t n) {
    DWORD written = 0;
    return ::WriteFile(pack.get(), d, static_cast<DWORD>(n), &written, nullptr) && written == n;
  });
  // The installer installs files, not folders only, and reads the pack's
  // length as a signed 32-bit zip size.
  if (std::all_of(files.begin(), files.end(), [](const SourceFile& f) { return f.path.empty(); })) {
    return Fail(1, "only empty folders, no file to install: " + folder);
  }
  if (!writer.Begin(inputs, &error)) return Fail(1, error);
  if (kPackHeaderSize + (uint64_t{writer.payload_length()} + 15) / 16 * 16 > INT32_MAX) {
    return Fail(1, "pack would exceed 2 GiB, which the installer cannot extract");
  }
  std::unique_ptr<char[]> buffer(new char[1 << 20]);
  for (const SourceFile& f : files) {
    if (f.path.empty()) continue;
    ScopedFileHandle in(::CreateFileA(f.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return Fail(1, "cannot read " + f.path);
    uint64_t done = 0;
    for (;;) {
      DWORD got = 0;
      if (!::ReadFile(in.get(), buffer.get(), 1 << 20, &got, nullptr)) {
        return Fail(1, "cannot read " + f.path);
      }
      if (got == 0) break;
      done += got;
      if (done > f.size) break;
      if (!writer.Write(buffer.get(), got)) return Fail(1, "cannot write " + out_zip);
    }
    if (done != f.size) return Fail(1, "file changed while packing: " + f.path);
  }
  if (!writer.Finish(&error)) return Fail(1, error);
  pack.reset();

  ZipMember m;
  m.name = member;
  m.source_path = temp;
  m.password = kPackagePassword;
  if (!WriteZip(out_zip, {m}, &error)) return Fail(1, error);
  std::printf("%s: member %s, %u entries, payload %u bytes\n", out_zip.c_str(), member.c_str(),
              static_cast<unsigned>(inputs.size()), writer.payload_length());
  return 0;
}

std::string TempFolderPath() {
  char base[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, base);
  std::string path = std::string(base) + "pkglist_" + std::to_string(::GetCurrentProcessId());
  ::CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

// Removes the folders that extracting `name` below `root` created, deepest first.
void RemoveFoldersOf(const std::string& root, const std::string& name) {
  std::string dir = name;
  for (;;) {
    const size_t sep = dir.find_last_of("\\/");
    if (sep == std::string::npos || sep == 0) return;
    dir.resize(sep);
    ::RemoveDirectoryA((root + "\\" + dir).c_str());
  }
}

int List(const std::string& zip_path) {
  auto archive = PackageArchive::Open(zip_path, kPackagePassword);
  if (!archive) return Fail(1, "cannot open " + zip_path + " as a zip archive");
  ArchiveEntry entry;
  EntryStatus es = archive->GetFirstEntry(&entry);
  if (es == EntryStatus::kRefusedName) return Fail(1, "first member's name leads outside the folder");
  if (es == EntryStatus::kArgumentError) return Fail(1, "package has no members");
  if (es != EntryStatus::kOk) return Fail(1, "first member cannot be read");
  std::printf("member: %s (%d bytes, %d compressed)\n", entry.name, entry.uncompressed_size,
              entry.compressed_size);
  const std::string temp = TempFolderPath();
  archive->SetBaseFolder(temp);
  ExtractStatus xs = archive->ExtractFirstEntry(entry.name);
  archive->Close();
  const std::string pack_path = temp + "\\" + entry.name;
  // Removes the extracted pack and the folders made for it on every path.
  struct Cleanup {
    std::string temp, pack_path, name;
    ~Cleanup() {
      ::SetFileAttributesA(pack_path.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileA(pack_path.c_str());
      RemoveFoldersOf(temp, name);
      ::RemoveDirectoryA(temp.c_str());
    }
  } cleanup{temp, pack_path, entry.name};
  switch (xs) {
    case ExtractStatus::kOk:
      break;
    case ExtractStatus::kWrongPassword:
      return Fail(1, "member does not open with the package password");
    case ExtractStatus::kDataError:
      // The reader does not test the cipher's check byte, so a wrong password
      // surfaces here, as undecodable data or a CRC mismatch.
      return Fail(1, "member cannot be extracted: wrong password or damaged data");
    case ExtractStatus::kCannotCreate:
    case ExtractStatus::kWriteError:
      return Fail(1, "cannot write the member into " + temp);
    default:
      return Fail(1, "first member cannot be read");
  }
  // Read the way the installer reads it: from disk, a window at a time.
  std::unique_ptr<OpenPack> pack = DecryptPackFile(pack_path, kPackagePassword, nullptr);
  if (!pack) return Fail(1, "pack is shorter than its 8-byte header or not whole 16-byte blocks");
  std::printf("pack: payload %u bytes, body %llu bytes\n", pack->payload_length,
              static_cast<unsigned long long>(pack->body_length));
  if (pack->directory.empty()) return Fail(1, "pack has no usable entry table");
  int defects = 0;
  uint64_t records = 0, files = 0;
  auto defect = [&defects](std::string_view name, const char* what) {
    std::fprintf(stderr, "defect: %.*s: %s\n", static_cast<int>(name.size()), name.data(), what);
    ++defects;
  };
  const bool whole = ReadPackTable(
      pack->payload_length, pack->body_length,
      [&pack](uint64_t offset, void* dst, size_t n) { return pack->reader->Read(offset, dst, n); },
      [&](std::string_view name, PackSpan span) {
        ++records;
        std::printf("%.*s\t%d\t%d\n", static_cast<int>(name.size()), name.data(), span.offset,
                    span.size);
        const std::string relative = InstalledPath(std::string(name));
        if (!SpanFitsBody(span, pack->body_length)) defect(name, "data outside the body");
        if (!StaysInsideFolder(relative)) {
          defect(name, "path leads outside the install folder");
        } else if (!relative.empty() && !gbk::EndsWithPathSeparator(relative)) {
          ++files;
        }
      },
      [](uint64_t, uint64_t) {});
  if (!whole) return Fail(1, "entry table cannot be read whole");
  std::printf("entries: %llu\n", static_cast<unsigned long long>(records));
  if (pack->directory.size() != records) {
    std::fprintf(stderr, "defect: %llu entries listed more than once\n",
                 static_cast<unsigned long long>(records - pack->directory.size()));
    ++defects;
  }
  if (files == 0) {
    std::fprintf(stderr, "defect: no entry installs a file\n");
    ++defects;
  }
  if (defects) return Fail(1, std::to_string(defects) + " defect(s)");
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: package_builder build <folder> <out.zip> [--top NAME] [--member NAME]\n"
               "       package_builder list <package.zip>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "build") {
    if (argc < 4) return Usage();
    std::string top, member = "game.pak";
    for (int i = 4; i < argc; ++i) {
      const std::string opt = argv[i];
      if ((opt == "--top" || opt == "--member") && i + 1 < argc) {
        (opt == "--top" ? top : member) = argv[++i];
      } else {
        return Usage();
      }
    }
    if (member.empty()) return Usage();
    return Build(argv[2], argv[3], top, member);
  }
  if (command == "list" && argc == 3) return List(argv[2]);
  return Usage();
}
