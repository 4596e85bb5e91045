#include "core/release_record.h"

#include <unordered_set>

#include "core/gbk_text.h"
#include "core/safe_path.h"
#include "core/uninstall_contract.h"

namespace release_record {
namespace {

// Files the installer writes itself: a release that happened to ship one
// must not take the installer's copy away with it.
const char* const kInstallerFiles[] = {
    uninstall_contract::kDataFileBelowInstall, kRecordName, "Config\\Agency.ini",
    "Config\\onlinesetup.ini", "WindowsSys.ini",
};

// The path as Windows resolves it below a folder (see StalePaths); empty when
// it is not safe to remove: it could leave the folder, it holds a control
// character or a cut double-byte character, or it names nothing or a folder
// (it ends in a separator).
std::string CleanPath(std::string_view path) {
  if (!StaysInsideFolder(path) || gbk::EndsInCutCharacter(path)) return std::string();
  // Control characters, '*' and '?' lie below every trail byte.
  for (char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '*' || c == '?') return std::string();
  }
  if (path.empty() || gbk::EndsWithPathSeparator(path)) return std::string();  // a folder
  std::string out;
  std::vector<size_t> ends = gbk::FindPathSeparators(path);
  ends.push_back(path.size());
  size_t start = 0;
  for (size_t at : ends) {
    std::string_view part = path.substr(start, at - start);
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
    if (!part.empty()) out.append(out.empty() ? "" : "\\").append(part);
    start = at + 1;
  }
  return out;
}

}  // namespace

std::vector<std::string> ParseRecord(std::string_view text) {
  std::vector<std::string> lines;
  for (std::string_view line : gbk::SplitLines(text))
    if (!line.empty()) lines.emplace_back(line);
  return lines;
}

std::string FormatRecord(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& path : paths) {
    size_t skip = path.find_first_not_of("\\/");
    if (skip == std::string::npos) continue;
    text.append(path, skip, std::string::npos);
    text += "\r\n";
  }
  return text;
}

std::vector<std::string> StalePaths(const std::vector<std::string>& previous,
                                    const std::vector<std::string>& current) {
  std::unordered_set<std::string> keep;
  for (const char* own : kInstallerFiles) keep.insert(gbk::ToLower(own));
  for (const std::string& path : current) {
    const std::string clean = CleanPath(path);
    if (!clean.empty()) keep.insert(gbk::ToLower(clean));
  }
  std::vector<std::string> stale;
  for (const std::string& path : previous) {
    const std::string clean = CleanPath(path);
    if (clean.empty()) continue;
    if (keep.insert(gbk::ToLower(clean)).second) stale.push_back(clean);
  }
  return stale;
}

}  // namespace release_record
