#include "core/path_join.h"

#include <vector>

#include "core/gbk_text.h"

std::string JoinPath(const std::string& folder, const std::string& name, JoinSeam seam) {
  if (seam == JoinSeam::kFormatted) {
    // A first byte is never a trail byte.
    return folder + "\\" + name.substr(!name.empty() && name[0] == '\\' ? 1 : 0);
  }
  if (name.empty()) return folder;
  const std::vector<size_t> seps = gbk::FindAllChars(folder, '\\');
  size_t end = folder.size();
  for (auto it = seps.rbegin(); it != seps.rend() && *it + 1 == end; ++it) end = *it;
  size_t start = 0;
  while (start < name.size() && name[start] == '\\') ++start;
  return folder.substr(0, end) + "\\" + name.substr(start);
}
