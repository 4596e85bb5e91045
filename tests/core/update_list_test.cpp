#include "core/update_list.h"

#include <gtest/gtest.h>

TEST(UpdateList, DestinationNamesMustStayBelowTheInstallFolder) {
  struct Case {
    const char* name;
    bool safe;
  } cases[] = {
      {"game.zip", true},
      {"\\game.zip", true},  // one leading backslash means the same file
      {"data\\game.zip", true},
      {"data/game.zip", true},
      {"a..b.zip", true},
      {"..zip", true},
      {"游戏\\包.zip", true},
      {"", false},
      {"\\", false},
      {"\\\\server\\share\\x.zip", false},
      {"//server/share/x.zip", false},
      {"/x.zip", false},
      {"C:\\x.zip", false},
      {"C:x.zip", false},
      {"..\\x.zip", false},
      {"a\\..\\..\\x.zip", false},
      {"a/../x.zip", false},
      {"a\\..", false},
      {"\\..\\x.zip", false},
      {".. \\x.zip", false},
      {"a\\...\\x.zip", false},
      {"a\\. .\\x.zip", false},
      {"a\\.\\x.zip", true},
      {".hidden\\x.zip", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSafeRelativeName(c.name), c.safe) << c.name;
}

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
