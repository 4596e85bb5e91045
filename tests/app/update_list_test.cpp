#include "app/update_list.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "net/servers.h"
#include "test_seams.h"

TEST(UpdateList, ReadsTheFirstEntryAndTheVersionUrl) {
  TempFolder dir;
  std::string desc = dir.File("online_setup.txt");
  WriteFileBytes(desc, "[config]\r\n1.0=\r\nother=http://h/other.txt\r\n");
  EXPECT_EQ(FindUpdateListUrl(desc), "http://h/other.txt");  // empty "1.0" falls back
  WriteFileBytes(desc, "[config]\r\n1.0=http://h/v1.txt\r\nother=http://h/other.txt\r\n");
  EXPECT_EQ(FindUpdateListUrl(desc), "http://h/v1.txt");
  WriteFileBytes(desc, "[setup]\r\nsize=1\r\n");
  EXPECT_EQ(FindUpdateListUrl(desc), "");

  std::string list = dir.File("list.txt");
  WriteFileBytes(list, "[list0]\r\naction=3\r\nsrcfile=http://h/p.zip\r\ndestfile=p.zip\r\ncmd=DEC\r\n"
                       "[list1]\r\naction=0\r\n");
  UpdateEntry e = ReadUpdateEntry(list);
  EXPECT_EQ(e.action, 3);
  EXPECT_EQ(e.srcfile, "http://h/p.zip");
  EXPECT_EQ(e.destfile, "p.zip");
  EXPECT_EQ(e.cmd, "DEC");
  EXPECT_EQ(e.agencyExeUrl, servers::DownloadServerBase());

  WriteFileBytes(list, "[list0]\r\nsrcfile=x\r\nAgencyExeURL=http://agency\r\n");
  e = ReadUpdateEntry(list);
  EXPECT_EQ(e.action, -1);  // missing key
  EXPECT_EQ(e.agencyExeUrl, "http://agency");
  EXPECT_EQ(ReadUpdateEntry(dir.File("missing.txt")).action, -1);

  WriteFileBytes(list, "[list0]\r\naction=abc\r\ndestfile=" + std::string(300, 'x') + "\r\n");
  e = ReadUpdateEntry(list);
  EXPECT_EQ(e.action, 0);  // text that is not a number reads as 0
  EXPECT_EQ(e.destfile.size(), 259u);
  // A double-byte character across the limit is left out whole.
  WriteFileBytes(list, "[list0]\r\ndestfile=" + std::string(258, 'x') + "\xD3\xCE.zip\r\n");
  EXPECT_EQ(ReadUpdateEntry(list).destfile, std::string(258, 'x'));
}

TEST(UpdateList, ActionIsMissingOnlyWithoutAValue) {
  struct Case {
    const char* line;  // nullptr: no action key at all
    int action;
  } cases[] = {
      {nullptr, -1},        {"action=", -1},  {"action=3", 3},      {"action=0", 0},
      {"action=-1", 0},     {"action=-5", 0}, {"action=abc", 0},    {"action=2x", 2},
      {"action = 1 ", 1},   {"ACTION=1", 1},
  };
  TempFolder dir;
  std::string list = dir.File("list.txt");
  for (const Case& c : cases) {
    std::string text = "[list0]\r\nsrcfile=x\r\n";
    if (c.line) text += std::string(c.line) + "\r\n";
    WriteFileBytes(list, text);
    EXPECT_EQ(ReadUpdateEntry(list).action, c.action) << (c.line ? c.line : "(none)");
  }
}

TEST(UpdateList, RecognisesProgramImagesByTheirMachineType) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  EXPECT_TRUE(IsPeImage(self));

  TempFolder dir;
  auto image = [](unsigned pe_offset, unsigned machine, size_t total) {
    std::string b(total, '\0');
    b[60] = static_cast<char>(pe_offset & 0xFF);
    b[61] = static_cast<char>(pe_offset >> 8);
    if (pe_offset + 6 <= total) {
      b[pe_offset + 4] = static_cast<char>(machine & 0xFF);
      b[pe_offset + 5] = static_cast<char>(machine >> 8);
    }
    return b;
  };
  struct Case {
    std::string bytes;
    bool pe;
  } cases[] = {
      {image(128, 0x014C, 256), true},
      {image(128, 0x8664, 256), true},
      {image(128, 0x0200, 256), true},
      {image(128, 0x01C0, 256), false},    // ARM is not accepted
      {image(128, 0x014C, 140), false},    // COFF header cut short
      {std::string(63, 'M'), false},       // DOS header cut short
      {"<html>404 Not Found</html>", false},
      {image(0xFFFF, 0x014C, 256), false}, // offset past the end
  };
  int i = 0;
  for (const Case& c : cases) {
    std::string p = dir.File("f" + std::to_string(i++) + ".exe");
    WriteFileBytes(p, c.bytes);
    EXPECT_EQ(IsPeImage(p), c.pe) << i;
  }
  EXPECT_FALSE(IsPeImage(dir.File("missing.exe")));
}
