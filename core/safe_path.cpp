#include "core/safe_path.h"

#include <algorithm>
#include <unordered_set>

#include "core/gbk_text.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "..", "...", ". ." and the like: Windows may read them as the parent.
bool IsDotsComponent(std::string_view part) {
  return part.find_first_not_of(". ") == std::string_view::npos &&
         std::count(part.begin(), part.end(), '.') >= 2;
}

// CON, NUL, COM1 and the like, also with an extension ("nul.txt"): opening
// such a name in any folder reaches the device instead of a file there.
bool IsDeviceComponent(std::string_view part) {
  static const char* const kDevices[] = {"CON",  "PRN",  "AUX",  "NUL",    "CONIN$", "CONOUT$",
                                         "COM1", "COM2", "COM3", "COM4",   "COM5",   "COM6",
                                         "COM7", "COM8", "COM9", "LPT1",   "LPT2",   "LPT3",
                                         "LPT4", "LPT5", "LPT6", "LPT7",   "LPT8",   "LPT9"};
  std::string_view base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (const char* device : kDevices) {
    if (gbk::EqualsIgnoreCase(base, device)) return true;
  }
  return false;
}

// A character Windows refuses anywhere in a file name.
bool IsForbiddenInName(unsigned char c) {
  return c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*' ||
         c == '/';
}

// The characters and component ends CheckInstallName refuses.
bool WindowsKeepsName(std::string_view relative) {
  for (size_t i = 0; i < relative.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(relative[i]);
    if (gbk::IsLeadByte(c) && i + 1 < relative.size()) {
      ++i;
      continue;
    }
    if (IsForbiddenInName(c)) return false;
    // Trail bytes are 0x40 and above: a dot or blank here is a character.
    const bool component_ends = i + 1 == relative.size() || relative[i + 1] == '\\';
    if ((c == '.' || c == ' ') && component_ends) return false;
  }
  return true;
}

}  // namespace

InstallName CheckInstallName(std::string_view relative) {
  if (!StaysInsideFolder(relative)) return InstallName::kLeavesFolder;
  return WindowsKeepsName(relative) ? InstallName::kFits : InstallName::kCannotCreate;
}

size_t FindFolderOverFile(const std::vector<std::string_view>& paths) {
  std::unordered_set<std::string> files;
  for (std::string_view p : paths) {
    if (!p.empty() && !gbk::EndsWithPathSeparator(p)) files.insert(gbk::ToLower(p));
  }
  for (size_t i = 0; i < paths.size(); ++i) {
    for (size_t at : gbk::FindAllChars(paths[i], '\\')) {
      if (at > 0 && files.count(gbk::ToLower(paths[i].substr(0, at)))) return i;
    }
  }
  return std::string_view::npos;
}

std::string SanitizeMemberName(std::string_view input) {
  static const char* const kParentMarks[] = {"\\..\\", "\\../", "/../", "/..\\"};
  std::string name(input);
  for (bool changed = true; changed;) {
    changed = true;
    if (name.size() >= 2 && name[0] != '\0' && name[1] == ':') {
      name.erase(0, 2);
    } else if (!name.empty() && IsSeparator(name[0])) {
      name.erase(0, 1);
    } else {
      changed = false;
      for (const char* mark : kParentMarks) {
        const size_t at = gbk::Find(name, mark);
        if (at == std::string::npos) continue;
        name.erase(0, at + 4);
        changed = true;
        break;
      }
    }
  }
  return name;
}

bool StaysInsideFolder(std::string_view relative, NameRule rule) {
  if (relative.find(':') != std::string_view::npos) return false;
  if (relative.size() >= 2 && IsSeparator(relative[0]) && IsSeparator(relative[1])) return false;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = start;
    while (end < relative.size() && !IsSeparator(relative[end])) ++end;
    const std::string_view part = relative.substr(start, end - start);
    if (IsDotsComponent(part) || IsDeviceComponent(part)) return false;
    start = end + 1;
  }
  if (rule == NameRule::kInstallPath) return true;
  // Only separators, dots and blanks: the folder itself (a lead byte is none of them).
  if (relative.find_first_not_of("\\/. ") == std::string_view::npos) return false;
  if (rule == NameRule::kEntryPath) return true;
  return gbk::FindPathSeparators(relative).empty() && WindowsKeepsName(relative) &&
         relative.front() != ' ' && !gbk::EndsInCutCharacter(relative);
}
