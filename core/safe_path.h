// Name rules that keep every written file below the folder it is meant for.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Strips drive prefixes, leading separators and everything up to a
// "\..\" (in any slash mix) from a zip member name, repeating until none
// applies. Searches skip the trail bytes of double-byte characters.
std::string SanitizeMemberName(std::string_view name);

// What becomes of a path below the install folder.
enum class InstallName {
  kFits,          // Windows creates it where it is meant to be
  kLeavesFolder,  // would reach outside the folder or a device: see StaysInsideFolder
  kCannotCreate,  // Windows refuses the name (or changes it): see CheckInstallName
};

// StaysInsideFolder first; then kCannotCreate for a character no Windows name
// may hold (< > " | ? * and control characters; whole GBK characters, so a
// trail byte 0x7C is no "|"), a "/" (the installer makes folders only at ""),
// or a component ending in a dot or a blank (Windows drops them, so the file
// lands under another name). Empty components and an empty path fit.
InstallName CheckInstallName(std::string_view relative);

// Of installed paths (a trailing separator marks a folder entry), the index of
// the first that needs as a folder a path another entry writes as a file:
// "\a" and "\a\b" cannot both be made. Compared ignoring the case of ASCII
// letters, as Windows does. npos when there is none.
size_t FindFolderOverFile(const std::vector<std::string_view>& paths);

// What a name appended below a folder is for; each rule adds to the one above.
enum class NameRule {
  kInstallPath,  // a path of the package: "" and "\\" name the folder itself
  kEntryPath,    // an entry below the folder (a download, a shortcut, a group
                 // that may be deleted): never the folder itself, "." included
  kSingleName,   // one component kept as written (a Start-menu group, a shortcut,
                 // an uninstall key): no separator, nothing CheckInstallName
                 // refuses, no blank at either end, no cut character
};

// True when `relative`, appended below a folder, cannot leave it: no colon
// (drive letters, streams), no component made only of dots and blanks with two
// or more dots, no device name (CON, NUL, COM1, LPT1... with or without an
// extension, which Windows can neither create nor delete as files), and not
// starting with two separators; one leading separator is allowed. Separators
// are whole characters (a trail byte 0x5C is none), but climbing and device
// components are also looked for between every 0x5C and "/" byte, as a
// program reading the name in another code page would split it.
bool StaysInsideFolder(std::string_view relative, NameRule rule = NameRule::kInstallPath);
