// package_builder build <folder> <out.zip> [--top NAME] [--member NAME]
// package_builder list <package.zip>
//
// build: every file below <folder> becomes a pack entry named NAME\<relative
// path> (NAME defaults to the folder's own name), empty folders become entries
// ending in "\". The pack is encrypted under the key derived from the package
// password and stored, deflated and PKWARE-encrypted, as the only member of
// the zip (default member name game.pak). It warns when the folder lacks what
// every installation needs: a Config folder and a program at its top.
// list: prints the member and every pack entry (name, offset, size) and checks
// that each entry's data lies inside the body and its path stays inside the
// install folder. Exit 0 when the package is sound, 1 on any defect, 2 on
// usage errors.
//
// Built for Windows it runs there or under Wine and takes names in the ANSI
// code page; built natively (builder_host_posix.cpp) it takes and prints
// UTF-8 and writes the package's names in GBK.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/gbk_text.h"
#include "core/pack_directory.h"
#include "core/pack_writer.h"
#include "core/safe_path.h"
#include "package/zip_writer.h"
#include "builder_host.h"

namespace {

// Bytes of an extracted member's name field (ArchiveEntry::name).
constexpr size_t kMemberNameField = 260;

struct SourceFile {
  std::string relative;  // GBK, "\" separators; ends in "\" for an empty folder
  std::string path;      // empty for a folder
  uint64_t size = 0;
};

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "package_builder: %s\n", message.c_str());
  return code;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Collects files and empty folders below `folder`, depth first.
bool Walk(const std::string& folder, const std::string& relative, std::vector<SourceFile>* out,
          std::string* error) {
  std::vector<FolderItem> items;
  if (!ListFolder(folder, &items, error)) return false;
  for (const FolderItem& item : items) {
    const std::string rel = relative.empty() ? item.name : relative + "\\" + item.name;
    if (item.folder) {
      if (!Walk(item.path, rel, out, error)) return false;
    } else {
      out->push_back({rel, item.path, item.size});
    }
  }
  if (items.empty() && !relative.empty()) out->push_back({relative + "\\", "", 0});
  return true;
}

// The entry name without its top-level folder, as the installer writes it
// below the install folder: from its first separator on, empty without one.
std::string InstalledPath(const std::string& entry_name) {
  const size_t sep = entry_name.find('\\');
  return sep == std::string::npos ? std::string() : entry_name.substr(sep);
}

// The installer writes Config\Agency.ini and starts a program from the
// install folder: a package without them installs, but the product does not
// work. Said on stderr, and the package is built all the same.
void WarnAboutLayout(const std::vector<SourceFile>& files, const std::string& folder) {
  bool config = false, program = false;
  for (const SourceFile& f : files) {
    const std::string lower = gbk::ToLower(f.relative);
    if (lower.rfind("config\\", 0) == 0) config = true;
    const bool top = gbk::FindLastChar(lower, '\\') == std::string::npos;
    if (top && lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".exe") == 0) program = true;
  }
  if (!config) {
    std::fprintf(stderr,
                 "package_builder: warning: %s has no Config folder; the installer writes "
                 "Config\\Agency.ini into it\n", folder.c_str());
  }
  if (!program) {
    std::fprintf(stderr,
                 "package_builder: warning: %s has no .exe at its top; the shortcuts start the "
                 "setup description's exefilename from there\n", folder.c_str());
  }
}

int Build(const std::string& folder, const std::string& out_zip, const std::string& top_argument,
          const std::string& member_argument) {
  if (!IsFolder(folder)) return Fail(1, "folder not found: " + folder);
  std::string member, top;
  if (!ToPackageText(member_argument, &member)) {
    return Fail(1, "member name has no GBK spelling: " + member_argument);
  }
  // The installer extracts the member under its cleaned name and refuses one
  // that would land outside the install folder or does not fit its name field.
  const std::string extracted = SanitizeMemberName(member);
  if (extracted.empty() || extracted.size() >= kMemberNameField ||
      gbk::EndsWithPathSeparator(extracted) || !StaysInsideFolder(extracted)) {
    return Fail(1, "member name cannot be extracted into the install folder: " + member_argument);
  }
  const std::string top_source = top_argument.empty() ? FolderLeafName(folder) : top_argument;
  if (!ToPackageText(top_source, &top)) return Fail(1, "top name has no GBK spelling: " + top_source);
  if (top.empty()) top = "Game";
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
      return Fail(1, "entry would not install inside the install folder: " +
                         ForTerminal(inputs.back().name));
    }
  }
  // The installer installs files, not folders only, and reads the pack's
  // length as a signed 32-bit zip size.
  if (std::all_of(files.begin(), files.end(), [](const SourceFile& f) { return f.path.empty(); })) {
    return Fail(1, "only empty folders, no file to install: " + folder);
  }
  WarnAboutLayout(files, folder);

  const std::string temp = out_zip + ".pack.tmp";
  // Declared before the file so that the file is closed first: an open file
  // cannot be deleted on Windows, and a refused build must not leave it behind.
  struct RemoveTemp {
    std::string path;
    ~RemoveTemp() {
      if (!path.empty()) std::remove(path.c_str());
    }
  } remove_temp;
  File pack(std::fopen(temp.c_str(), "wb"));
  if (!pack) return Fail(1, "cannot write " + out_zip);
  remove_temp.path = temp;

  PackWriter writer(kPackagePassword, [&pack](const void* d, size_t n) {
    return std::fwrite(d, 1, n, pack.get()) == n;
  });
  if (!writer.Begin(inputs, &error)) return Fail(1, ForTerminal(error));
  if (kPackHeaderSize + (uint64_t{writer.payload_length()} + 15) / 16 * 16 > INT32_MAX) {
    return Fail(1, "pack would exceed 2 GiB, which the installer cannot extract");
  }
  std::unique_ptr<char[]> buffer(new char[1 << 20]);
  for (const SourceFile& f : files) {
    if (f.path.empty()) continue;
    File in(std::fopen(f.path.c_str(), "rb"));
    if (!in) return Fail(1, "cannot read " + f.path);
    uint64_t done = 0;
    for (;;) {
      const size_t got = std::fread(buffer.get(), 1, 1 << 20, in.get());
      if (got == 0) {
        if (std::ferror(in.get())) return Fail(1, "cannot read " + f.path);
        break;
      }
      done += got;
      if (done > f.size) break;
      if (!writer.Write(buffer.get(), got)) return Fail(1, "cannot write " + out_zip);
    }
    if (done != f.size) return Fail(1, "file changed while packing: " + f.path);
  }
  if (!writer.Finish(&error)) return Fail(1, ForTerminal(error));
  if (std::fclose(pack.release()) != 0) return Fail(1, "cannot write " + out_zip);

  ZipMember m;
  m.name = member;
  m.source_path = temp;
  m.password = kPackagePassword;
  if (!WriteZip(out_zip, {m}, &error)) return Fail(1, ForTerminal(error));
  std::printf("%s: member %s, %u entries, payload %u bytes\n", out_zip.c_str(),
              ForTerminal(member).c_str(), static_cast<unsigned>(inputs.size()),
              writer.payload_length());
  return 0;
}

int List(const std::string& zip_path) {
  std::string error;
  std::unique_ptr<ListedPackage> pack = OpenListedPackage(zip_path, &error);
  if (!pack) return Fail(1, error);
  std::printf("member: %s (%d bytes, %d compressed)\n", ForTerminal(pack->member).c_str(),
              pack->uncompressed_size, pack->compressed_size);
  std::printf("pack: payload %u bytes, body %llu bytes\n", pack->payload_length,
              static_cast<unsigned long long>(pack->body_length));
  int defects = 0;
  uint64_t records = 0, files = 0;
  PackDirectory directory;
  auto defect = [&defects](std::string_view name, const char* what) {
    std::fprintf(stderr, "defect: %s: %s\n", ForTerminal(name).c_str(), what);
    ++defects;
  };
  const bool whole = ReadPackTable(
      pack->payload_length, pack->body_length, pack->read,
      [&](std::string_view name, PackSpan span) {
        ++records;
        directory.Add(name, span);
        std::printf("%s\t%d\t%d\n", ForTerminal(name).c_str(), span.offset, span.size);
        const std::string relative = InstalledPath(std::string(name));
        if (!SpanFitsBody(span, pack->body_length)) defect(name, "data outside the body");
        if (!StaysInsideFolder(relative)) {
          defect(name, "path leads outside the install folder");
        } else if (!relative.empty() && !gbk::EndsWithPathSeparator(relative)) {
          ++files;
        }
      },
      [](uint64_t, uint64_t) {});
  if (!whole && records == 0) return Fail(1, "pack has no usable entry table");
  if (!whole) return Fail(1, "entry table cannot be read whole");
  directory.Finish();
  std::printf("entries: %llu\n", static_cast<unsigned long long>(records));
  if (directory.size() != records) {
    std::fprintf(stderr, "defect: %llu entries listed more than once\n",
                 static_cast<unsigned long long>(records - directory.size()));
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
