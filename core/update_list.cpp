#include "core/update_list.h"

#include "core/gbk_text.h"

std::string ValidateUpdateEntry(const UpdateEntry& e) {
  if (e.action == -1) return "解析更新列表文件错误.";
  if ((e.action & UPDATE_ACTION_COMMAND) && e.cmd.empty())
    return "解析更新列表文件错误,动作有命令但命令为空.";
  if ((e.action & UPDATE_ACTION_DOWNLOAD) && (e.srcfile.empty() || e.destfile.empty()))
    return "解析更新列表文件错误,动作为下载文件但文件路径为空.";
  // The destination comes from the server: it must not lead outside the
  // install folder, whatever the action (the command extracts and deletes it).
  if ((e.action & (UPDATE_ACTION_COMMAND | UPDATE_ACTION_DOWNLOAD)) && !e.destfile.empty() &&
      !IsSafeRelativeName(e.destfile))
    return "解析更新列表文件错误.";
  return std::string();
}

bool IsSafeRelativeName(const std::string& name) {
  std::string rest = name;
  if (!rest.empty() && rest[0] == '\\') rest.erase(0, 1);  // "\game.zip" means "game.zip"
  if (rest.empty()) return false;
  if (rest[0] == '\\' || rest[0] == '/') return false;     // UNC or rooted
  if (gbk::Find(rest, ":") != std::string::npos) return false;
  // Split on both separators, whole characters only.
  size_t start = 0;
  for (size_t i = 0; i <= rest.size(); ++i) {
    bool end = i == rest.size();
    if (!end && gbk::IsLeadByte(static_cast<unsigned char>(rest[i])) && i + 1 < rest.size()) {
      ++i;
      continue;
    }
    if (end || rest[i] == '\\' || rest[i] == '/') {
      std::string part = rest.substr(start, i - start);
      if (part == "..") return false;
      // Windows drops trailing dots and blanks from a name, so ".. " or "..."
      // may climb like "..": a component made of nothing else is refused.
      if (part.size() > 1 && part.find_first_not_of(". ") == std::string::npos) return false;
      start = i + 1;
    }
  }
  return true;
}
