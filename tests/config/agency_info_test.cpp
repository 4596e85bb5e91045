#include "config/agency_info.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "app/xgamesetup.h"
#include "core/gbk_text.h"
#include "system/profile_file.h"
#include "test_seams.h"

namespace {

struct ModulePathGuard {
  ~ModulePathGuard() { SetModulePathForTesting(""); }
};

}  // namespace

TEST(AgencyIds, TakenFromTheInstallersOwnName) {
  ModulePathGuard guard;
  XGameSetup setup;
  SetModulePathForTesting("C:\\a-F9-A9-B9-P9-9\\setup-f12-a345-b678-p9-1001.exe");
  ASSERT_TRUE(setup.ParseAgencyIds());
  EXPECT_EQ(setup.agencyIds.StandaloneAgencyID, "678");
  EXPECT_EQ(setup.agencyIds.PCID, "1001");
  SetModulePathForTesting("C:\\a-F9-A9-B9-P9-9\\setup.exe");  // markers only in the folder
  EXPECT_FALSE(setup.ParseAgencyIds());
}

TEST(AgencyText, AgencyIniWrittenIntoInstalledConfig) {
  TempFolder dir;
  XGameSetup setup;
  std::string folder = dir.path() + "\\";
  gbk::CopyToBuffer(setup.installFolder, sizeof setup.installFolder, folder);
  ASSERT_TRUE(ParseAgencyIdsFromName("s-F1-A2-B3-P4-5.exe", &setup.agencyIds));

  setup.WriteAgencyIni();  // no Config folder yet: nothing written, no failure
  EXPECT_FALSE(FileExists(folder + "Config\\Agency.ini"));

  CreateDirectoryA((folder + "Config").c_str(), nullptr);
  setup.WriteAgencyIni();
  ProfileFile ini(folder + "Config\\Agency.ini", 260);
  EXPECT_EQ(ini.ReadString("Config", "FromID", "?"), "1");
  EXPECT_EQ(ini.ReadString("Config", "AgencyID", "?"), "2");
  EXPECT_EQ(ini.ReadString("Config", "StandaloneAgencyID", "?"), "3");
  EXPECT_EQ(ini.ReadString("Config", "PageID", "?"), "4");
  EXPECT_EQ(ini.ReadString("Config", "PCID", "?"), "5");
  // Keys in the order the installed client expects.
  std::string text = ReadFileBytes(folder + "Config\\Agency.ini");
  EXPECT_LT(text.find("FromID"), text.find("AgencyID="));
  EXPECT_LT(text.find("PageID"), text.find("PCID"));
}
