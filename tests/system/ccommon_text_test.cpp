#include <gtest/gtest.h>

#include <string>

#include "system/ccommon.h"

TEST(ShortcutText, WorkingDirectoryFromTarget) {
  struct Case {
    const char* target;
    const char* dir;
  } cases[] = {
      {"c:\\game\\main.exe", "C:\\game"},
      {"C:\\game\\bin\\main.exe", "C:\\game\\bin"},
      {"main.exe", "Main.exe"},  // no backslash: the whole upper-cased copy
      {"", ""},
      {"d:\\游戏\\大厅.exe", "D:\\游戏"},
      {"游戏.exe", "游戏.exe"},             // a double-byte first character is left alone
      {"c:\\x\\\x95\\.exe", "C:\\x"},       // 0x95 0x5C is one character
      {"c:/game/main.exe", "C:/game/main.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(CCommon::ShortcutWorkingDirectory(c.target), c.dir) << c.target;
}

TEST(UninstallText, CommandQuotesPathAndArgument) {
  struct Case {
    const char* path;
    const char* argument;
    const char* command;
  } cases[] = {
      {"C:\\G\\uninstall\\un.exe", "C:\\G\\uninstall\\uninstall.ini",
       "\"C:\\G\\uninstall\\un.exe\" \"/U:C:\\G\\uninstall\\uninstall.ini\""},
      {"C:\\G\\un.exe", nullptr, "\"C:\\G\\un.exe\""},
      {"C:\\G\\un.exe", "", "\"C:\\G\\un.exe\""},
      {"C:\\游戏\\un.exe", "x", "\"C:\\游戏\\un.exe\" \"/U:x\""},
  };
  for (const Case& c : cases) EXPECT_EQ(CCommon::UninstallCommand(c.path, c.argument), c.command);
}
