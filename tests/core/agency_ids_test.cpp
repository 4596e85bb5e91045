#include "core/agency_ids.h"

#include <gtest/gtest.h>

TEST(AgencyIds, ParsedFromFileName) {
  struct Case {
    const char* name;
    bool ok;
    const char *from, *agency, *standalone, *page, *pcid;
  } cases[] = {
      {"setup-f12-a345-b678-p9-1001.exe", true, "12", "345", "678", "9", "1001"},
      {"setup-F12-A345-B678-P9-1001(1).exe", true, "12", "345", "678", "9", "1001"},
      {"setup-F12-A345-B678-P9-1001 (1).exe", true, "12", "345", "678", "9", "1001 "},
      {"setup-P9-B678-A345-F12-1001.exe", true, "12", "345", "678", "9", "1001"},
      {"x-F1-A2-Bab1-P3-4.exe", true, "1", "2", "AB1", "3", "4"},
      {"x-F-A-B-P-.exe", true, "", "", "", "", ""},                // empty values are allowed
      {"my-app-F1-A2-B3-P4-5.exe", true, "1", "PP", "3", "4", "5"},  // "-A" found in "-APP"
      {"游戏-F1-A2-B3-P4-5.exe", true, "1", "2", "3", "4", "5"},
      {"setup-F12-A345-P9-1001.exe", false},   // no -B
      {"setup.exe", false},
      {"setup-F12-A345-B678-P9.exe", false},   // -P without its closing '-'
      {"setup-F12-A345-B678-P9-.exe", true, "12", "345", "678", "9", ""},
      {"setup-F12-A345-B678-P9", false},       // no '(' or '.' after the last '-'
      {"setup-F12-A345-B678-P", false},        // marker at the very end: no closing '-'
      {"", false},
  };
  for (const Case& c : cases) {
    AgencyIds ids;
    ASSERT_EQ(ParseAgencyIdsFromName(c.name, &ids), c.ok) << c.name;
    if (!c.ok) continue;
    EXPECT_EQ(ids.FromID, c.from) << c.name;
    EXPECT_EQ(ids.AgencyID, c.agency) << c.name;
    EXPECT_EQ(ids.StandaloneAgencyID, c.standalone) << c.name;
    EXPECT_EQ(ids.PageID, c.page) << c.name;
    EXPECT_EQ(ids.PCID, c.pcid) << c.name;
  }
}

TEST(AgencyText, StripCategorySuffix) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"欢乐棋牌", "欢乐"},
      {"欢乐", "欢乐"},
      {"棋牌", ""},
      {"", ""},
      {"棋牌欢乐棋牌", "棋牌欢乐棋牌"},  // only the first occurrence counts
      {"欢乐棋牌x", "欢乐棋牌x"},
  };
  for (const Case& c : cases) {
    std::string s = c.in;
    StripCategorySuffix(&s);
    EXPECT_EQ(s, c.out) << c.in;
  }
  StripCategorySuffix(nullptr);
}
