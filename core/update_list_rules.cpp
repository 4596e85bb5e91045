#include "core/update_list_rules.h"

#include "core/safe_path.h"

std::string ValidateUpdateEntry(const UpdateEntry& e) {
  if (e.action == -1) return "解析更新列表文件错误.";
  if ((e.action & UPDATE_ACTION_COMMAND) && e.cmd.empty())
    return "解析更新列表文件错误,动作有命令但命令为空.";
  if ((e.action & UPDATE_ACTION_DOWNLOAD) && (e.srcfile.empty() || e.destfile.empty()))
    return "解析更新列表文件错误,动作为下载文件但文件路径为空.";
  // The destination comes from the server: it must not lead outside the
  // install folder, whatever the action (the command extracts and deletes it).
  if ((e.action & (UPDATE_ACTION_COMMAND | UPDATE_ACTION_DOWNLOAD)) && !e.destfile.empty() &&
      !StaysInsideFolder(e.destfile, NameRule::kEntryPath))
    return "解析更新列表文件错误.";
  return std::string();
}
