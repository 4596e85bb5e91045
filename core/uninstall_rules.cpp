#include "core/uninstall_rules.h"

#include "core/gbk_text.h"
#include "core/uninstall_contract.h"

namespace uninstall {
namespace {

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && gbk::EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::string current;
  bool quoted = false;
  bool have = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    // Quote and blank are below every GBK trail byte, so a byte-wise scan is safe.
    if (c == '"') {
      quoted = !quoted;
      have = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (have) args.push_back(current);
      current.clear();
      have = false;
    } else {
      current += c;
      have = true;
    }
  }
  if (have) args.push_back(current);
  return args;
}

bool ParseCommandLine(std::string_view line, Options* out) {
  Options options;
  bool named = false;
  std::vector<std::string> args = SplitCommandLine(line);
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (StartsWithIgnoreCase(a, "/U:")) {
      options.ini_path = gbk::Trim(a.substr(3));
      named = true;
    } else if (gbk::EqualsIgnoreCase(a, "/S")) {
      options.silent = true;
    }
  }
  if (named && options.ini_path.empty()) return false;
  *out = options;
  return true;
}

std::string DataFileBeside(std::string_view program_path) {
  std::string folder = ParentFolder(gbk::Trim(program_path));
  return folder.empty() ? std::string() : folder + uninstall_contract::kDataFileName;
}

std::string NormalizeFolder(std::string_view path) {
  std::string out;
  bool ends_with_separator = false;
  size_t start = 0;
  for (size_t at : gbk::FindPathSeparators(path)) {
    out.append(path.substr(start, at - start));
    if (at > start) ends_with_separator = false;
    if (!ends_with_separator) out += '\\';  // a run of separators counts as one
    ends_with_separator = true;
    start = at + 1;
  }
  out.append(path.substr(start));
  if (!out.empty() && (start < path.size() || !ends_with_separator)) out += '\\';
  return out;
}

std::string ParentFolder(std::string_view path) {
  const std::vector<size_t> separators = gbk::FindPathSeparators(path);
  if (separators.empty()) return std::string();
  return NormalizeFolder(path.substr(0, separators.back() + 1));
}

bool IsInsideFolder(std::string_view path, std::string_view folder) {
  const std::string f = NormalizeFolder(folder);
  return !f.empty() && StartsWithIgnoreCase(NormalizeFolder(path), f);
}

bool MustEndBeforeRemoving(std::string_view program, std::string_view folder, std::string_view keep) {
  if (gbk::Trim(program).empty() || !IsInsideFolder(program, folder)) return false;
  return keep.empty() || !gbk::EqualsIgnoreCase(NormalizeFolder(program), NormalizeFolder(keep));
}

FolderVerdict CheckInstallFolder(std::string_view ini_path, std::string_view setupdir,
                                 const std::vector<std::string>& protected_folders,
                                 std::string* install_folder) {
  std::string wanted = NormalizeFolder(gbk::Trim(setupdir));
  if (wanted.size() < 3 || !IsAsciiLetter(wanted[0]) || wanted[1] != ':' || wanted[2] != '\\') {
    return FolderVerdict::kNotAbsolute;
  }
  // A normalised folder has one "\" between components and one at its end.
  if (gbk::Find(wanted, "\\.\\") != std::string::npos ||
      gbk::Find(wanted, "\\..\\") != std::string::npos)
    return FolderVerdict::kNotAbsolute;
  if (wanted.size() == 3) return FolderVerdict::kDriveRoot;

  // The data file must sit in <install>\uninstall\, where the installer puts it.
  std::string data_folder = ParentFolder(gbk::Trim(ini_path));
  const std::string data_suffix = std::string("\\") + uninstall_contract::kDataFolder + "\\";
  const size_t suffix_len = data_suffix.size();
  if (data_folder.size() <= suffix_len ||
      !gbk::EqualsIgnoreCase(std::string_view(data_folder).substr(data_folder.size() - suffix_len),
                             data_suffix)) {
    return FolderVerdict::kIniMisplaced;
  }
  std::string holder = data_folder.substr(0, data_folder.size() - suffix_len + 1);
  if (!gbk::EqualsIgnoreCase(holder, wanted)) return FolderVerdict::kMismatch;

  for (const std::string& raw : protected_folders) {
    if (raw.empty()) continue;
    // Equal to, or an ancestor of, a folder that must survive.
    if (IsInsideFolder(raw, wanted)) return FolderVerdict::kProtected;
  }
  *install_folder = wanted;
  return FolderVerdict::kOk;
}

bool EntryBelongsTo(std::string_view uninstall_string, std::string_view ini_path) {
  if (gbk::Trim(uninstall_string).empty()) return true;
  Options named;
  if (!ParseCommandLine(uninstall_string, &named) || named.ini_path.empty()) return false;
  return gbk::EqualsIgnoreCase(NormalizeFolder(named.ini_path), NormalizeFolder(ini_path));
}

}  // namespace uninstall
