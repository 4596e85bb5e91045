// Name rules that keep every written file below the folder it is meant for.
#pragma once

#include <string>
#include <string_view>

// Strips drive prefixes, leading separators and everything up to a
// "\..\" (in any slash mix) from a zip member name, repeating until none
// applies. Searches skip the trail bytes of double-byte characters.
std::string SanitizeMemberName(std::string_view name);

// True when `relative`, appended below a folder, cannot leave it: no colon
// (drive letters, streams), no component made only of dots and blanks with two
// or more dots, no device name (CON, NUL, COM1, LPT1... with or without an
// extension), and not starting with two separators. Components split at "\"
// and "/" byte by byte, which finds every component Windows would see.
// An empty path counts as inside.
bool StaysInsideFolder(std::string_view relative);
