// Folders the side configuration's clearing must never touch: the roots of
// drives and shares, the system's own folders and the user's shell folders,
// and every folder above one of them. A distribution folder below them (for
// example a folder on the Desktop) may still be cleared.
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
