// An update list's first entry as the server may send it: the action number,
// then source, destination and command separated by NULs. A destination the
// checks accept must stay below the install folder.
#include <algorithm>
#include <string>

#include "core/download_math.h"
#include "core/safe_path.h"
#include "core/update_list_rules.h"
#include "fuzz_util.h"

namespace {

// Byte-wise view of the rule for names without double-byte characters.
bool AsciiNameClimbs(std::string name) {
  if (!name.empty() && (name[0] == '\\' || name[0] == '/')) name.erase(0, 1);
  if (name.empty() || name[0] == '\\' || name[0] == '/') return true;
  if (name.find(':') != std::string::npos) return true;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] != '\\' && name[i] != '/') continue;
    const std::string part = name.substr(start, i - start);
    const bool dots_only = part.find_first_not_of(". ") == std::string::npos;
    if (dots_only && std::count(part.begin(), part.end(), '.') >= 2) return true;
    start = i + 1;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  UpdateEntry e;
  e.action = static_cast<int8_t>(data[0]);
  auto [src, rest] = SplitAtNul(data + 1, size - 1);
  auto [dest, cmd] = SplitAtNul(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());
  e.srcfile = ExactCopy(src);
  e.destfile = ExactCopy(dest);
  e.cmd = ExactCopy(cmd);
  const std::string error = ValidateUpdateEntry(e);
  const bool safe = StaysInsideFolder(e.destfile, NameRule::kEntryPath);
  if (error.empty() && (e.action & (UPDATE_ACTION_COMMAND | UPDATE_ACTION_DOWNLOAD)) &&
      !e.destfile.empty() && !safe)
    __builtin_trap();
  bool ascii = true;
  for (unsigned char c : e.destfile) ascii = ascii && c < 0x80;
  if (safe && ascii && AsciiNameClimbs(e.destfile)) __builtin_trap();
  if (safe) {
    // The joined path has exactly one separator at the join.
    const std::string target = RelativeTarget("C:\\Hall", e.destfile);
    if (target.compare(0, 8, "C:\\Hall\\") != 0 || (target.size() > 8 && target[8] == '\\'))
      __builtin_trap();
  }
  return 0;
}
