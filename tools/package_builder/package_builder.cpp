// package_builder build <folder> <out.zip> [--top NAME] [--member NAME]
//                       [--setup FILE | --main-program NAME] [--convert-utf8]
// package_builder list <package.zip> [--setup FILE | --main-program NAME]
// package_builder text <file>... [--convert-utf8]
// package_builder keygen <folder>                      (native build only)
// package_builder publish <folder> <site> --settings FILE
//                         (--key PRIVATE.pem | --unsigned) [--convert-utf8]
//
// build: every file below <folder> becomes a pack entry named NAME\<relative
// path> (NAME defaults to the folder's own name), empty folders become entries
// ending in "\". The pack is encrypted under the key derived from the package
// password and stored, deflated and PKWARE-encrypted, as the only member of
// the zip (default member name game.pak). It refuses names Windows cannot
// create, texts (.ini, .txt) that are not GBK, and a folder without the main
// program: the setup description's exefilename, the --main-program name, or
// else main.exe. It warns when the folder has no Config folder.
// list: prints the member and every pack entry (name, offset, size) and checks
// that each entry's data lies inside the body, its path can be created inside
// the install folder, its text is GBK, and that the main program is there.
// text: checks the texts published beside the package (setup description,
// agency texts, update list).
// keygen and publish: see publish.cpp.
// --convert-utf8 converts UTF-8 texts to GBK: the folder's in the package
// only, the setup description and text's files in place.
// Exit 0 when all is sound, 1 on any refusal or defect, 2 on usage errors.
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

#include "core/archive_entry.h"
#include "core/gbk_text.h"
#include "core/pack_directory.h"
#include "core/pack_writer.h"
#include "core/ini_text.h"
#include "core/safe_path.h"
#include "package/zip_writer.h"
#include "builder_commands.h"
#include "builder_host.h"
#include "text_check.h"

namespace {

struct SourceFile {
  std::string relative;  // GBK, "\" separators; ends in "\" for an empty folder
  std::string path;      // empty for a folder
  uint64_t size = 0;
  bool converted = false;  // `text` ships instead of the file's bytes
  std::string text;
};

// The program the installer's shortcuts start, relative to the install folder,
// and where the builder learnt its name (for the messages).
struct MainProgram {
  std::string name;  // GBK
  std::string source;
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

// `name` without leading backslashes, as it follows the install folder.
std::string_view WithoutLeadingSeparators(std::string_view name) {
  while (!name.empty() && name.front() == '\\') name.remove_prefix(1);
  return name;
}

bool IsMainProgram(const MainProgram& program, std::string_view installed_path) {
  return gbk::EqualsIgnoreCase(WithoutLeadingSeparators(installed_path),
                               WithoutLeadingSeparators(program.name));
}

std::string MissingProgram(const MainProgram& program, const std::string& package) {
  return "main program " + ForTerminal(program.name) + " (" + program.source + ") is not in " +
         package + ": the installed shortcuts would start nothing";
}

// Reads a text given on the command line and checks it as it will be
// published; with `convert_utf8` a UTF-8 file is rewritten in GBK.
bool LoadPublishedText(const std::string& path, bool convert_utf8, std::string* text,
                       std::string* error) {
  if (!ReadWholeFile(path, text)) {
    *error = "cannot read " + path;
    return false;
  }
  bool converted = false;
  if (!PrepareShippedText(path, convert_utf8, text, &converted, error)) return false;
  if (converted) {
    if (!WriteWholeFile(path, *text)) {
      *error = "cannot write " + path;
      return false;
    }
    std::printf("%s: converted from UTF-8 to GBK\n", path.c_str());
  }
  return true;
}

// The main program's name from the setup description, from --main-program,
// or main.exe, the name the installer gives an agency's own program.
bool FindMainProgram(const std::string& setup, const std::string& main_program, bool convert_utf8,
                     MainProgram* program, std::string* error) {
  if (!setup.empty()) {
    std::string text;
    if (!LoadPublishedText(setup, convert_utf8, &text, error)) return false;
    if (!FindIniValue(text, "setup", "exefilename", &program->name) || program->name.empty()) {
      *error = "setup description names no main program ([setup] exefilename): " + setup;
      return false;
    }
    program->source = "exefilename of " + setup;
  } else if (!main_program.empty()) {
    if (!ToPackageText(main_program, &program->name)) {
      *error = "main program name has no GBK spelling: " + main_program;
      return false;
    }
    program->source = "--main-program";
  } else {
    program->name = "main.exe";
    program->source = "the default; name it with --setup or --main-program";
  }
  // Windows takes "/" for "\" in the program path the shortcuts start.
  std::replace(program->name.begin(), program->name.end(), '/', '\\');
  const std::string installed = "\\" + std::string(WithoutLeadingSeparators(program->name));
  if (CheckInstallName(installed) != InstallName::kFits || gbk::EndsWithPathSeparator(installed)) {
    *error = "main program " + ForTerminal(program->name) + " (" + program->source +
             ") cannot be installed under that name";
    return false;
  }
  return true;
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

using Options = BuildOptions;

int Build(const std::string& folder, const std::string& out_zip, const Options& options) {
  const std::string& top_argument = options.top;
  const std::string& member_argument = options.member;
  if (!IsFolder(folder)) return Fail(1, "folder not found: " + folder);
  MainProgram program;
  std::string error;
  if (!FindMainProgram(options.setup, options.main_program, options.convert_utf8, &program,
                       &error)) {
    return Fail(1, error);
  }
  std::string member, top;
  if (!ToPackageText(member_argument, &member)) {
    return Fail(1, "member name has no GBK spelling: " + member_argument);
  }
  // The installer extracts the member under its cleaned name and refuses one
  // that would land outside the install folder or does not fit its name field.
  const std::string extracted = SanitizeMemberName(member);
  if (extracted.empty() || extracted.size() >= kArchiveNameBytes ||
      gbk::EndsWithPathSeparator(extracted) || CheckInstallName(extracted) != InstallName::kFits) {
    return Fail(1, "member name cannot be extracted into the install folder: " + member_argument);
  }
  const std::string top_source = top_argument.empty() ? FolderLeafName(folder) : top_argument;
  if (!ToPackageText(top_source, &top)) return Fail(1, "top name has no GBK spelling: " + top_source);
  if (top.empty()) top = "Game";
  std::vector<SourceFile> files;
  if (!Walk(folder, "", &files, &error)) return Fail(1, error);
  // A pack without entries is refused by the installer ("failed to extract").
  if (files.empty()) return Fail(1, "folder is empty, nothing to pack: " + folder);
  std::sort(files.begin(), files.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.relative < b.relative; });
  std::vector<PackInput> inputs;
  std::vector<std::string> installed;
  for (const SourceFile& f : files) {
    inputs.push_back({top + "\\" + f.relative, f.size});
    // The installer would fail (or skip) such entries on every run; refuse them here.
    const std::string fault = NameFault(inputs.back().name);
    if (!fault.empty()) return Fail(1, fault + ForTerminal(inputs.back().name));
    installed.push_back(InstalledPath(inputs.back().name));
  }
  const size_t over_file =
      FindFolderOverFile(std::vector<std::string_view>(installed.begin(), installed.end()));
  if (over_file != std::string_view::npos) {
    return Fail(1, "entry needs a folder where another entry is a file (names differing only in "
                   "case are the same on Windows): " + ForTerminal(inputs[over_file].name));
  }
  // The installer installs files, not folders only, and reads the pack's
  // length as a signed 32-bit zip size.
  if (std::all_of(files.begin(), files.end(), [](const SourceFile& f) { return f.path.empty(); })) {
    return Fail(1, "only empty folders, no file to install: " + folder);
  }
  if (std::none_of(installed.begin(), installed.end(),
                   [&](const std::string& p) { return IsMainProgram(program, p); })) {
    return Fail(1, MissingProgram(program, out_zip));
  }
  for (size_t i = 0; i < files.size(); ++i) {
    SourceFile& f = files[i];
    if (f.path.empty() || !IsShippedText(f.relative)) continue;
    if (!ReadWholeFile(f.path, &f.text)) return Fail(1, "cannot read " + f.path);
    if (!PrepareShippedText(f.path, options.convert_utf8, &f.text, &f.converted, &error)) {
      return Fail(1, error);
    }
    if (f.converted) {
      inputs[i].size = f.text.size();
      std::printf("%s: converted from UTF-8 to GBK in the package\n", f.path.c_str());
    }
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
    if (f.converted) {
      if (!writer.Write(f.text.data(), f.text.size())) return Fail(1, "cannot write " + out_zip);
      continue;
    }
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

int List(const std::string& zip_path, const Options& options) {
  MainProgram program;
  std::string error;
  if (!FindMainProgram(options.setup, options.main_program, false, &program, &error)) {
    return Fail(1, error);
  }
  std::unique_ptr<ListedPackage> pack = OpenListedPackage(zip_path, &error);
  if (!pack) return Fail(1, error);
  std::printf("member: %s (%d bytes, %d compressed)\n", ForTerminal(pack->member).c_str(),
              pack->uncompressed_size, pack->compressed_size);
  std::printf("pack: payload %u bytes, body %llu bytes\n", pack->payload_length,
              static_cast<unsigned long long>(pack->body_length));
  int defects = 0;
  uint64_t records = 0, files = 0;
  bool has_program = false;
  PackDirectory directory;
  std::vector<std::string> names, installed;
  std::vector<PackRecord> texts;
  auto defect = [&defects](std::string_view name, const std::string& what) {
    std::fprintf(stderr, "defect: %s: %s\n", ForTerminal(name).c_str(), what.c_str());
    ++defects;
  };
  const bool whole = ReadPackTable(
      pack->payload_length, pack->body_length, pack->read,
      [&](std::string_view name, PackSpan span) {
        ++records;
        directory.Add(name, span);
        std::printf("%s\t%d\t%d\n", ForTerminal(name).c_str(), span.offset, span.size);
        const std::string relative = InstalledPath(std::string(name));
        const bool fits = SpanFitsBody(span, pack->body_length);
        if (!fits) defect(name, "data outside the body");
        const InstallName verdict = CheckInstallName(relative);
        if (verdict == InstallName::kLeavesFolder) {
          defect(name, "path leads outside the install folder");
        } else if (verdict == InstallName::kCannotCreate) {
          defect(name, "name Windows cannot create");
        } else if (!relative.empty() && !gbk::EndsWithPathSeparator(relative)) {
          ++files;
          has_program = has_program || IsMainProgram(program, relative);
          if (fits && IsShippedText(relative)) texts.push_back({std::string(name), span});
        }
        names.emplace_back(name);
        installed.push_back(relative);
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
  const size_t over_file =
      FindFolderOverFile(std::vector<std::string_view>(installed.begin(), installed.end()));
  if (over_file != std::string_view::npos) {
    defect(names[over_file], "needs a folder where another entry is a file");
  }
  for (const PackRecord& t : texts) {
    std::string bytes(static_cast<uint32_t>(t.span.size), '\0');
    if (!pack->read(static_cast<uint32_t>(t.span.offset), &bytes[0], bytes.size())) {
      defect(t.name, "data cannot be read");
    } else if (gbk::ClassifyTextCoding(bytes) != gbk::TextCoding::kGbk) {
      defect(t.name, "text is not GBK (saved as UTF-8, or with a byte-order mark?)");
    }
  }
  if (files == 0) {
    std::fprintf(stderr, "defect: no entry installs a file\n");
    ++defects;
  }
  if (!has_program) {
    std::fprintf(stderr, "defect: %s\n", MissingProgram(program, zip_path).c_str());
    ++defects;
  }
  if (defects) return Fail(1, std::to_string(defects) + " defect(s)");
  return 0;
}

// Checks the texts published beside the package; converts UTF-8 ones in place
// when asked.
int CheckTexts(const std::vector<std::string>& paths, bool convert_utf8) {
  int refused = 0;
  for (const std::string& path : paths) {
    std::string text, error;
    if (LoadPublishedText(path, convert_utf8, &text, &error)) continue;
    std::fprintf(stderr, "package_builder: %s\n", error.c_str());
    ++refused;
  }
  if (refused) return Fail(1, std::to_string(refused) + " text(s) not fit to publish");
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: package_builder build <folder> <out.zip> [--top NAME] [--member NAME]\n"
               "                             [--setup FILE | --main-program NAME] [--convert-utf8]\n"
               "       package_builder list <package.zip> [--setup FILE | --main-program NAME]\n"
               "       package_builder text <file>... [--convert-utf8]\n"
#ifdef PACKAGE_BUILDER_SIGNING
               "       package_builder keygen <folder>\n"
               "       package_builder publish <folder> <site> --settings FILE\n"
               "                               (--key PRIVATE.pem | --unsigned) [--convert-utf8]\n"
#endif
               "  --setup FILE         the setup description (online_setup.txt): its [setup]\n"
               "                       exefilename must be in the package (default: main.exe)\n"
               "  --main-program NAME  the same without a setup description\n"
               "  --convert-utf8       texts saved as UTF-8 are converted to GBK: the folder's\n"
               "                       .ini/.txt in the package, --setup and text's files in place\n");
  return 2;
}

}  // namespace

int BuildPackage(const std::string& folder, const std::string& out_zip,
                 const BuildOptions& options) {
  return Build(folder, out_zip, options);
}

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
#ifdef PACKAGE_BUILDER_SIGNING
  if (command == "keygen") return KeygenCommand(argc - 1, argv + 1);
  if (command == "publish") return PublishCommand(argc - 1, argv + 1);
#endif
  const int first_option = command == "build" ? 4 : command == "list" ? 3 : 2;
  if (argc < first_option) return Usage();
  Options options;
  std::vector<std::string> plain;
  for (int i = first_option; i < argc; ++i) {
    const std::string opt = argv[i];
    const bool takes_value = opt == "--top" || opt == "--member" || opt == "--setup" ||
                             opt == "--main-program";
    if (takes_value && i + 1 < argc && command != "text") {
      std::string& value = opt == "--top" ? options.top
                           : opt == "--member" ? options.member
                           : opt == "--setup" ? options.setup
                                              : options.main_program;
      value = argv[++i];
      if (value.empty() && opt != "--top") return Usage();
    } else if (opt == "--convert-utf8" && command != "list") {
      options.convert_utf8 = true;
    } else if (command == "text" && opt.rfind("--", 0) != 0) {
      plain.push_back(opt);
    } else {
      return Usage();
    }
  }
  if (!options.setup.empty() && !options.main_program.empty()) return Usage();
  if (command == "build") return Build(argv[2], argv[3], options);
  if (command == "list") {
    if (options.top != "" || options.member != "game.pak") return Usage();
    return List(argv[2], options);
  }
  if (command == "text" && !plain.empty()) return CheckTexts(plain, options.convert_utf8);
  return Usage();
}
