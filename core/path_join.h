// Joining a folder and a name below it: the one rule for every path the
// installer builds from the two. A trail byte 0x5C belongs to its double-byte
// character (D:\乗 ends in a character, not in a separator).
#pragma once

#include <string>

enum class JoinSeam {
  // The folder's trailing backslashes and the name's leading ones go: exactly
  // one "\" at the seam. An empty name gives the folder unchanged.
  kOne,
  // "%s\%s" after at most one leading backslash of the name is dropped: a
  // folder ending in "\" leaves two at the seam (the system reads them as
  // one). The download target: resume records store it as written, and a
  // record from an earlier run must still name the same file.
  kFormatted,
};

std::string JoinPath(const std::string& folder, const std::string& name,
                     JoinSeam seam = JoinSeam::kOne);
