#include "core/ini_text.h"

#include "core/gbk_text.h"

bool FindIniValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string* value) {
  bool in_section = false, seen_section = false;
  for (std::string_view raw : gbk::SplitLines(text)) {
    const std::string line = gbk::Trim(raw);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      // Only the first section of that name is read.
      if (in_section) return false;
      // Without "]" the name runs to the line's end (npos - 1 is still beyond it).
      const std::string name = gbk::Trim(std::string_view(line).substr(1, line.find(']') - 1));
      in_section = !seen_section && gbk::EqualsIgnoreCase(name, section);
      seen_section = seen_section || in_section;
      continue;
    }
    if (!in_section) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos || !gbk::EqualsIgnoreCase(gbk::Trim(line.substr(0, eq)), key)) {
      continue;
    }
    std::string v = gbk::Trim(line.substr(eq + 1));
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
      v = v.substr(1, v.size() - 2);
    }
    *value = v;
    return true;
  }
  return false;
}
