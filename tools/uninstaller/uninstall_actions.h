// The uninstaller's work on the machine: reading its data file, closing a
// running client, removing shortcuts, the uninstall entry and the install
// folder. Every step removes only what the installer made.
#pragma once

#include <string>
#include <vector>

#include "core/uninstall_rules.h"

namespace uninstall {

// [config] setupdir, gamename, shortcutname, ProductTitle of the data file.
UninstallData ReadUninstallData(const std::string& ini_path);

// Ends every running program whose image lies inside `folder` (this process
// and `keep` excepted), so that its files can be removed: its windows are
// asked to close, it gets a few seconds, then it is ended. Returns the
// programs still running.
std::vector<std::string> CloseProgramsInside(const std::string& folder, const std::string& keep);

// Desktop shortcuts (user and common), the Start-menu entries and group.
// Names that are not safe are skipped; returns false when one was skipped.
bool RemoveShortcuts(const UninstallData& data);

// ...\Uninstall\<gamename> under HKLM and under HKCU (where the installer
// registers without administrator rights), each when it belongs to this data
// file. Returns false when such a key is still there afterwards.
bool RemoveUninstallEntry(const UninstallData& data, const std::string& ini_path);

// Deletes the folder and everything below it, read-only files included;
// links inside (and a folder that is itself a link) are never followed, and
// go only where the system can remove a link alone. What stays busy is tried
// again for a few seconds. Returns the paths that could not be removed.
std::vector<std::string> RemoveFolderTree(const std::string& folder);

}  // namespace uninstall
