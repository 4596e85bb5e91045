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

// Folders that must never be removed, nor any folder that contains them:
// Windows, Program Files, profiles, desktops, Start menus, the temporary folder.
std::vector<std::string> ProtectedFolders();

// Sends WM_CLOSE to the window titled `title` and waits (at most a few
// seconds) for its process to end, so its program file can be deleted.
void CloseRunningClient(const std::string& title);

// Desktop shortcuts (user and common), the Start-menu entries and group.
// Names that are not safe are skipped; returns false when one was skipped.
bool RemoveShortcuts(const UninstallData& data);

// HKLM ...\Uninstall\<gamename>, when it belongs to this data file.
// Returns false when the key is still there afterwards.
bool RemoveUninstallEntry(const UninstallData& data, const std::string& ini_path);

// Deletes the folder and everything below it, read-only files included;
// links inside are removed, never followed. Busy files are retried for a
// short while. Returns the paths that could not be removed.
std::vector<std::string> RemoveFolderTree(const std::string& folder);

}  // namespace uninstall
