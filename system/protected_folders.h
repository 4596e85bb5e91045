// Folders nothing may clear or remove: the system's own folders, the user's
// shell folders and the temporary folder. The side configuration's clearing
// (config/extent_config) and the uninstaller both take this one list; a
// folder below one of them (a distribution folder on the Desktop, a game in
// Program Files) is not protected by it.
#pragma once

#include <string>
#include <vector>

// The system and shell folders of this machine and user, as full paths.
// Folders the system cannot name are left out.
std::vector<std::string> ProtectedFolders();

// True when `folder` (a full path, with or without a trailing separator) is a
// drive root, a share root, or one of `protected_folders` or a folder above
// one of them. Case is ignored; "/" counts as "\".
bool IsProtectedFromClearing(const std::string& folder,
                             const std::vector<std::string>& protected_folders);
