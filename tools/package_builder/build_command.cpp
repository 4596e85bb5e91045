// `build`: every file below the folder becomes a pack entry, the pack is
// encrypted and stored as the zip's only member. Everything the installer
// would fail on is refused before anything is written.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/archive_entry.h"
#include "core/gbk_text.h"
#include "core/pack_directory.h"
#include "core/pack_writer.h"
#include "core/safe_path.h"
#include "package/zip_writer.h"
#include "builder_commands.h"
#include "builder_host.h"

namespace {

constexpr size_t kCopyBuffer = 1 << 20;

struct SourceFile {
  std::string relative;  // GBK, "\" separators; ends in "\" for an empty folder
  std::string path;      // empty for a folder
  uint64_t size = 0;
  bool converted = false;  // `text` ships instead of the file's bytes
  std::string text;
};

// The pack's temporary file, removed however the build ends once created.
// It outlives the open file: an open file cannot be deleted on Windows, and
// a refused build must not leave it behind.
struct TempFile {
  std::string path;
  ~TempFile() {
    if (!path.empty()) std::remove(path.c_str());
  }
};

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

// The installer writes Config\Agency.ini: without the folder the package
// installs, but the agency record is lost. Said on stderr only.
void WarnAboutLayout(const std::vector<SourceFile>& files, const std::string& folder) {
  for (const SourceFile& f : files) {
    if (gbk::ToLower(f.relative).rfind("config\\", 0) == 0) return;
  }
  std::fprintf(stderr,
               "package_builder: warning: %s has no Config folder; the installer writes "
               "Config\\Agency.ini into it\n", folder.c_str());
}

// Why an entry cannot be installed, or empty.
std::string NameFault(const std::string& entry_name) {
  switch (CheckInstallName(InstalledPath(entry_name))) {
    case InstallName::kFits: return std::string();
    case InstallName::kLeavesFolder: return "entry would not install inside the install folder: ";
    case InstallName::kCannotCreate: break;
  }
  return "entry has a name Windows cannot create (< > : \" | ? * /, a control character, or a "
         "dot or blank at the end of a part): ";
}

// The member's and the top folder's names in GBK, checked as the installer
// will extract them.
bool PackageNames(const std::string& folder, const BuildOptions& options, std::string* member,
                  std::string* top, std::string* error) {
  if (!ToPackageText(options.member, member)) {
    *error = "member name has no GBK spelling: " + options.member;
    return false;
  }
  // The installer extracts the member under its cleaned name and refuses one
  // that would land outside the install folder or does not fit its name field.
  const std::string extracted = SanitizeMemberName(*member);
  if (extracted.empty() || extracted.size() >= kArchiveNameBytes ||
      gbk::EndsWithPathSeparator(extracted) || CheckInstallName(extracted) != InstallName::kFits) {
    *error = "member name cannot be extracted into the install folder: " + options.member;
    return false;
  }
  const std::string top_source = options.top.empty() ? FolderLeafName(folder) : options.top;
  if (!ToPackageText(top_source, top)) {
    *error = "top name has no GBK spelling: " + top_source;
    return false;
  }
  if (top->empty()) *top = "Game";
  return true;
}

// The pack's entries for `files` below `top`, refused when the installer
// would fail on them (or skip them) on every run.
bool PlanEntries(const std::vector<SourceFile>& files, const std::string& top,
                 const MainProgram& program, const std::string& folder,
                 const std::string& out_zip, std::vector<PackInput>* inputs, std::string* error) {
  std::vector<std::string> installed;
  for (const SourceFile& f : files) {
    inputs->push_back({top + "\\" + f.relative, f.size});
    const std::string fault = NameFault(inputs->back().name);
    if (!fault.empty()) return *error = fault + ForTerminal(inputs->back().name), false;
    installed.push_back(InstalledPath(inputs->back().name));
  }
  const size_t over_file =
      FindFolderOverFile(std::vector<std::string_view>(installed.begin(), installed.end()));
  if (over_file != std::string_view::npos) {
    *error = "entry needs a folder where another entry is a file (names differing only in "
             "case are the same on Windows): " + ForTerminal((*inputs)[over_file].name);
    return false;
  }
  // The installer installs files, not folders only.
  if (std::all_of(files.begin(), files.end(), [](const SourceFile& f) { return f.path.empty(); })) {
    return *error = "only empty folders, no file to install: " + folder, false;
  }
  if (std::none_of(installed.begin(), installed.end(),
                   [&](const std::string& p) { return IsMainProgram(program, p); })) {
    return *error = MissingProgram(program, out_zip), false;
  }
  return true;
}

// Reads and checks the texts among `files`; a converted one ships its GBK
// text, so its entry's size changes with it.
bool PrepareTexts(bool convert_utf8, std::vector<SourceFile>* files,
                  std::vector<PackInput>* inputs, std::string* error) {
  for (size_t i = 0; i < files->size(); ++i) {
    SourceFile& f = (*files)[i];
    if (f.path.empty() || !IsShippedText(f.relative)) continue;
    if (!ReadWholeFile(f.path, &f.text)) return *error = "cannot read " + f.path, false;
    if (!PrepareShippedText(f.path, convert_utf8, &f.text, &f.converted, error)) return false;
    if (f.converted) {
      (*inputs)[i].size = f.text.size();
      std::printf("%s: converted from UTF-8 to GBK in the package\n", f.path.c_str());
    }
  }
  return true;
}

// Writes the bytes of one file into the pack; it must still have the size
// it was listed with.
bool WriteFileBytes(const SourceFile& f, const std::string& out_zip, char* buffer,
                    PackWriter* writer, std::string* error) {
  if (f.converted) {
    if (!writer->Write(f.text.data(), f.text.size())) return *error = "cannot write " + out_zip, false;
    return true;
  }
  File in(std::fopen(f.path.c_str(), "rb"));
  if (!in) return *error = "cannot read " + f.path, false;
  uint64_t done = 0;
  for (;;) {
    const size_t got = std::fread(buffer, 1, kCopyBuffer, in.get());
    if (got == 0) {
      if (std::ferror(in.get())) return *error = "cannot read " + f.path, false;
      break;
    }
    done += got;
    if (done > f.size) break;
    if (!writer->Write(buffer, got)) return *error = "cannot write " + out_zip, false;
  }
  if (done != f.size) return *error = "file changed while packing: " + f.path, false;
  return true;
}

// Writes the encrypted pack into `temp`'s file, named for `out_zip`.
bool WritePack(const std::vector<SourceFile>& files, const std::vector<PackInput>& inputs,
               const std::string& out_zip, TempFile* temp, uint32_t* payload_length,
               std::string* error) {
  const std::string temp_path = out_zip + ".pack.tmp";
  File pack(std::fopen(temp_path.c_str(), "wb"));
  if (!pack) return *error = "cannot write " + out_zip, false;
  temp->path = temp_path;
  PackWriter writer(kPackagePassword, [&pack](const void* d, size_t n) {
    return std::fwrite(d, 1, n, pack.get()) == n;
  });
  if (!writer.Begin(inputs, error)) return *error = ForTerminal(*error), false;
  // The installer reads the pack's length as a signed 32-bit zip size.
  if (kPackHeaderSize + (uint64_t{writer.payload_length()} + 15) / 16 * 16 > INT32_MAX) {
    return *error = "pack would exceed 2 GiB, which the installer cannot extract", false;
  }
  std::unique_ptr<char[]> buffer(new char[kCopyBuffer]);
  for (const SourceFile& f : files) {
    if (f.path.empty()) continue;
    if (!WriteFileBytes(f, out_zip, buffer.get(), &writer, error)) return false;
  }
  if (!writer.Finish(error)) return *error = ForTerminal(*error), false;
  if (std::fclose(pack.release()) != 0) return *error = "cannot write " + out_zip, false;
  *payload_length = writer.payload_length();
  return true;
}

}  // namespace

int BuildPackage(const std::string& folder, const std::string& out_zip,
                 const BuildOptions& options) {
  if (!IsFolder(folder)) return Fail(1, "folder not found: " + folder);
  MainProgram program;
  std::string error;
  if (!FindMainProgram(options.setup, options.main_program, options.convert_utf8, &program,
                       &error)) {
    return Fail(1, error);
  }
  std::string member, top;
  if (!PackageNames(folder, options, &member, &top, &error)) return Fail(1, error);
  std::vector<SourceFile> files;
  if (!Walk(folder, "", &files, &error)) return Fail(1, error);
  // A pack without entries is refused by the installer ("failed to extract").
  if (files.empty()) return Fail(1, "folder is empty, nothing to pack: " + folder);
  std::sort(files.begin(), files.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.relative < b.relative; });
  std::vector<PackInput> inputs;
  if (!PlanEntries(files, top, program, folder, out_zip, &inputs, &error) ||
      !PrepareTexts(options.convert_utf8, &files, &inputs, &error)) {
    return Fail(1, error);
  }
  WarnAboutLayout(files, folder);

  TempFile temp;
  uint32_t payload_length = 0;
  if (!WritePack(files, inputs, out_zip, &temp, &payload_length, &error)) return Fail(1, error);
  ZipMember m;
  m.name = member;
  m.source_path = temp.path;
  m.password = kPackagePassword;
  if (!WriteZip(out_zip, {m}, &error)) return Fail(1, ForTerminal(error));
  std::printf("%s: member %s, %u entries, payload %u bytes\n", out_zip.c_str(),
              ForTerminal(member).c_str(), static_cast<unsigned>(inputs.size()), payload_length);
  return 0;
}
