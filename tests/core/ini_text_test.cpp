#include "core/ini_text.h"

#include <gtest/gtest.h>

TEST(FindIniValue, ReadsAValueAsTheProfileFunctionsDo) {
  const char* kText =
      "; the setup description\r\n"
      "[config]\r\n"
      "exefilename=wrong.exe\r\n"
      "[ Setup ]\r\n"
      "gamename = 欢乐棋牌游戏 \r\n"
      "EXEFILENAME=\"hall.exe\"\r\n"
      "uninstname='uninst.exe\r\n"
      "; exefilename=comment.exe\n"
      "empty=\n"
      "[setup]\n"
      "size=50\n";
  struct Case {
    const char* section;
    const char* key;
    bool found;
    const char* value;
  } cases[] = {
      {"setup", "exefilename", true, "hall.exe"},  // quotes dropped, keys in any case
      {"setup", "gamename", true, "欢乐棋牌游戏"},
      {"SETUP", "uninstname", true, "'uninst.exe"},  // one quote is kept
      {"setup", "empty", true, ""},
      {"config", "exefilename", true, "wrong.exe"},
      {"setup", "size", false, ""},  // only the first [setup] is read
      {"setup", "missing", false, ""},
      {"nothere", "exefilename", false, ""},
  };
  for (const Case& c : cases) {
    std::string value;
    EXPECT_EQ(FindIniValue(kText, c.section, c.key, &value), c.found) << c.key;
    EXPECT_EQ(value, c.value) << c.key;
  }
}
