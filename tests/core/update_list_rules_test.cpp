#include "core/update_list_rules.h"

#include <gtest/gtest.h>

TEST(UpdateList, ValidationTextsComeInTheirOrder) {
  struct Case {
    int action;
    const char* src;
    const char* dest;
    const char* cmd;
    const char* error;
  } cases[] = {
      {-1, "u", "d", "DEC", "解析更新列表文件错误."},
      {3, "u", "d", "", "解析更新列表文件错误,动作有命令但命令为空."},
      {1, "", "", "", "解析更新列表文件错误,动作有命令但命令为空."},
      {3, "", "d", "DEC", "解析更新列表文件错误,动作为下载文件但文件路径为空."},
      {2, "u", "", "", "解析更新列表文件错误,动作为下载文件但文件路径为空."},
      {3, "u", "..\\d.zip", "DEC", "解析更新列表文件错误."},
      {1, "", "C:\\Windows\\d.zip", "DEC", "解析更新列表文件错误."},
      {3, "u", "d.zip", "DEC", ""},
      {3, "u", "d.zip", "dec", ""},  // an unknown command is reported after the download
      {2, "u", "d.zip", "", ""},
      {4, "", "", "", ""},
      {1, "", "d.zip", "DEC", ""},
  };
  for (const Case& c : cases) {
    UpdateEntry e;
    e.action = c.action;
    e.srcfile = c.src;
    e.destfile = c.dest;
    e.cmd = c.cmd;
    EXPECT_EQ(ValidateUpdateEntry(e), c.error) << c.action << " " << c.dest;
  }
}
