// Decisions of the uninstaller that need no Windows calls: its command line,
// which folder it may remove, which names are safe to build shell and
// registry paths from, and whether an uninstall entry is this copy's.
// All texts are narrow GBK; backslashes inside double-byte characters are
// never taken for separators.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace uninstall {

struct Options {
  std::string ini_path;      // from "/U:<path>"; empty when not given
  bool silent = false;       // "/S": no questions, no messages
};

// Splits a command line into arguments: blanks separate them, double quotes
// group them and are removed. The first argument is the program.
std::vector<std::string> SplitCommandLine(std::string_view line);

// Reads "/U:" and "/S" (case-insensitive). Without "/U:" the ini path stays
// empty (the Start-menu shortcut passes no arguments); false when "/U:" is
// given without a path.
bool ParseCommandLine(std::string_view line, Options* out);

// The data file the installer puts beside the uninstaller:
// "<program's folder>uninstall.ini"; empty when the path has no folder.
std::string DataFileBeside(std::string_view program_path);

// '/' becomes '\', runs of '\' become one, and the result ends with '\'.
// An empty text stays empty.
std::string NormalizeFolder(std::string_view path);

// The folder part of a file path, ending with '\' (empty when there is none).
std::string ParentFolder(std::string_view path);

// True when `path` lies inside `folder` (or is it); both are normalised and
// compared ignoring ASCII case.
bool IsInsideFolder(std::string_view path, std::string_view folder);

// True when a running program must end before `folder` is removed: its
// image lies inside the folder (whole components: C:\Game2\x.exe is not
// inside C:\Game) and it is not `keep`, this uninstaller's own program,
// which a second copy of the uninstaller may be running.
bool MustEndBeforeRemoving(std::string_view program, std::string_view folder, std::string_view keep);

struct UninstallData {
  std::string setupdir;
  std::string gamename;
  std::string shortcutname;
  std::string product_title;
};

enum class FolderVerdict {
  kOk,
  kNotAbsolute,      // not "X:\...", or holds "." / ".." components
  kDriveRoot,        // "X:\" itself
  kIniMisplaced,     // the data file is not <folder>\uninstall\<file>
  kMismatch,         // setupdir names another folder than the one holding the data
  kProtected,        // a system or user folder, or one that contains such a folder
};

// Decides which folder the uninstaller may remove: the folder whose
// "uninstall" subfolder holds the data file, and only when setupdir names
// that same folder and it is neither a drive root nor a protected folder (nor
// an ancestor of one). On kOk *install_folder receives it, normalised.
FolderVerdict CheckInstallFolder(std::string_view ini_path, std::string_view setupdir,
                                 const std::vector<std::string>& protected_folders,
                                 std::string* install_folder);

// True when an uninstall entry's UninstallString names this data file (so a
// newer installation of the same game elsewhere keeps its entry). An entry
// without an UninstallString counts as this one's.
bool EntryBelongsTo(std::string_view uninstall_string, std::string_view ini_path);

}  // namespace uninstall
