// The installer's command-line options.
#include "core/command_line.h"

#include <gtest/gtest.h>

TEST(ParseCommandLine, OptionsAndTheirValues) {
  const struct {
    const char* line;
    bool direct;
    const char* folder;
    bool has_delete;
    const char* delete_path;
  } cases[] = {
      {"\"C:\\setup.exe\"", false, "", false, ""},
      {"setup.exe -delpath x -path D:\\A", true, "D:\\A", true, "x"},
      {"setup.exe -path D:\\A -delpath x", true, "D:\\A", true, "x"},
      {"setup.exe -path    C:\\Games ", true, "C:\\Games", false, ""},
      // A "-" inside a value ends it.
      {"setup.exe -path D:\\my-games", true, "D:\\my", false, ""},
      // The option at the very end: flag set, folder empty.
      {"setup.exe -path ", true, "", false, ""},
      {"setup.exe -path", false, "", false, ""},  // the blank belongs to the option
      {"setup.exe -PATH D:\\A", false, "", false, ""},  // case-sensitive
      {"setup.exe -path D:\\A -path E:\\B", true, "D:\\A", false, ""},  // first one counts
      {"setup.exe -delpath ", false, "", true, ""},
      {"setup.exe -delpath C:\\Old Folder\\", false, "", true, "C:\\Old Folder\\"},
      {"setup.exe -path D:\\游戏大厅\\", true, "D:\\游戏大厅\\", false, ""},
      {"setup.exe -path \tD:\\A\t", true, "D:\\A", false, ""},
      // Quoted values, as cmd passes them: the quotes go, blanks and dashes
      // inside stay, and the \" that ends a quoted folder leaves one "\".
      {"setup.exe -path \"C:\\My Games\\\"", true, "C:\\My Games\\", false, ""},
      {"setup.exe -path \"C:\\My Games\"", true, "C:\\My Games", false, ""},
      {"setup.exe -path \"C:\\My Games\\\\\"", true, "C:\\My Games\\", false, ""},
      {"setup.exe -path \"D:\\my-games\" -delpath x", true, "D:\\my-games", true, "x"},
      {"setup.exe -path  \" D:\\A \"", true, "D:\\A", false, ""},
      {"setup.exe -path \"\"", true, "", false, ""},
      {"setup.exe -delpath \"C:\\Old -x\\\" -path \"E:\\New\\\"", true, "E:\\New\\", true,
       "C:\\Old -x\\"},
      // Options inside a quoted span are not options.
      {"\"C:\\dl -path x\\setup.exe\" -path D:\\A", true, "D:\\A", false, ""},
      {"setup.exe -delpath \"C:\\a -path b\"", false, "", true, "C:\\a -path b"},
      // An unclosed quote is dropped; the value ends as an unquoted one.
      {"setup.exe -path \"C:\\My Games -delpath x", true, "C:\\My Games", true, "x"},
      // A GBK character whose trail byte is 0x5C is no backslash: 乗 = 81 5C.
      {"setup.exe -path \"D:\\\x81\x5C\"", true, "D:\\\x81\x5C", false, ""},
      {"setup.exe -path \"D:\\\x81\x5C\\\\\"", true, "D:\\\x81\x5C\\", false, ""},
  };
  for (const auto& c : cases) {
    const CommandLineOptions o = ParseCommandLine(c.line);
    EXPECT_EQ(c.direct, o.directInstall) << c.line;
    EXPECT_EQ(c.folder, o.installFolder) << c.line;
    EXPECT_EQ(c.has_delete, o.hasDeletePath) << c.line;
    EXPECT_EQ(c.delete_path, o.deletePath) << c.line;
  }
}

TEST(ParseCommandLine, ChineseFolderFollowedByAnotherOption) {
  const CommandLineOptions o = ParseCommandLine("a.exe -path D:\\\xB5\xC4 -delpath y");
  EXPECT_EQ("D:\\\xB5\xC4", o.installFolder);
  EXPECT_EQ("y", o.deletePath);
}
