// `list`: prints the member and every pack entry (name, offset, size) and
// checks the package as the installer will read it: each entry's data inside
// the body, its path inside the install folder, its text GBK, and the main
// program there. Defects go to stderr, one a line.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/gbk_text.h"
#include "core/pack_directory.h"
#include "core/safe_path.h"
#include "builder_commands.h"
#include "builder_host.h"

namespace {

// The checks of one pack: each entry as the table gives it, then the whole.
class PackCheck {
 public:
  PackCheck(const MainProgram& program, const ListedPackage& pack)
      : program_(program), pack_(pack) {}

  uint64_t records() const { return records_; }

  void Entry(std::string_view name, PackSpan span) {
    ++records_;
    directory_.Add(name, span);
    std::printf("%s\t%d\t%d\n", ForTerminal(name).c_str(), span.offset, span.size);
    const std::string relative = InstalledPath(std::string(name));
    const bool fits = SpanFitsBody(span, pack_.body_length);
    if (!fits) Defect(name, "data outside the body");
    const InstallName verdict = CheckInstallName(relative);
    if (verdict == InstallName::kLeavesFolder) {
      Defect(name, "path leads outside the install folder");
    } else if (verdict == InstallName::kCannotCreate) {
      Defect(name, "name Windows cannot create");
    } else if (!relative.empty() && !gbk::EndsWithPathSeparator(relative)) {
      ++files_;
      has_program_ = has_program_ || IsMainProgram(program_, relative);
      if (fits && IsShippedText(relative)) texts_.push_back({std::string(name), span});
    }
    names_.emplace_back(name);
    installed_.push_back(relative);
  }

  // After the whole table: the count, then what only the whole shows.
  // Returns the number of defects.
  int Finish(const std::string& zip_path) {
    directory_.Finish();
    std::printf("entries: %llu\n", static_cast<unsigned long long>(records_));
    if (directory_.size() != records_) {
      Defect(std::to_string(records_ - directory_.size()) + " entries listed more than once");
    }
    const size_t over_file =
        FindFolderOverFile(std::vector<std::string_view>(installed_.begin(), installed_.end()));
    if (over_file != std::string_view::npos) {
      Defect(names_[over_file], "needs a folder where another entry is a file");
    }
    CheckTexts();
    if (files_ == 0) Defect("no entry installs a file");
    if (!has_program_) Defect(MissingProgram(program_, zip_path));
    return defects_;
  }

 private:
  void Defect(std::string_view name, const std::string& what) {
    Defect(ForTerminal(name) + ": " + what);
  }
  void Defect(const std::string& what) {
    std::fprintf(stderr, "defect: %s\n", what.c_str());
    ++defects_;
  }

  void CheckTexts() {
    for (const PackRecord& t : texts_) {
      std::string bytes(static_cast<uint32_t>(t.span.size), '\0');
      if (!pack_.read(static_cast<uint32_t>(t.span.offset), &bytes[0], bytes.size())) {
        Defect(t.name, "data cannot be read");
      } else if (gbk::ClassifyTextCoding(bytes) != gbk::TextCoding::kGbk) {
        Defect(t.name, "text is not GBK (saved as UTF-8, or with a byte-order mark?)");
      }
    }
  }

  const MainProgram& program_;
  const ListedPackage& pack_;
  int defects_ = 0;
  uint64_t records_ = 0, files_ = 0;
  bool has_program_ = false;
  PackDirectory directory_;
  std::vector<std::string> names_, installed_;
  std::vector<PackRecord> texts_;  // those whose data lies inside the body
};

}  // namespace

int ListPackage(const std::string& zip_path, const BuildOptions& options) {
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
  PackCheck check(program, *pack);
  const bool whole = ReadPackTable(
      pack->payload_length, pack->body_length, pack->read,
      [&check](std::string_view name, PackSpan span) { check.Entry(name, span); },
      [](uint64_t, uint64_t) {});
  if (!whole && check.records() == 0) return Fail(1, "pack has no usable entry table");
  if (!whole) return Fail(1, "entry table cannot be read whole");
  const int defects = check.Finish(zip_path);
  if (defects) return Fail(1, std::to_string(defects) + " defect(s)");
  return 0;
}
