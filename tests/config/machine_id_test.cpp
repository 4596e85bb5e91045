// Machine identifier: Wine's real registry (HKCU\SOFTWARE\WindowsApp in the
// test prefix) and WindowsSys.ini in a temporary install folder.
#include "config/machine_id.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>

#include "app/xgamesetup.h"
#include "core/gbk_text.h"
#include "system/profile_file.h"
#include "test_seams.h"

namespace {

constexpr char kIdA[] = "00000000-0000-0000-0000-000000000000";
constexpr char kCodeA[] = "d83a5a594edac4aff2eb08ca70996f0a";  // MD5 of kIdA + salt
constexpr char kIdB[] = "11111111-2222-3333-4444-555555555555";

void ClearRegistry() { RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\WindowsApp"); }

std::string CodeOf(const std::string& id) {
  std::string code;
  CheckIdCode(id, "x", &code);
  return code;
}

// Raw registry value: type and size as stored.
struct RawValue {
  DWORD type = 0;
  DWORD size = 0;
  std::string text;
  bool present = false;
};
RawValue ReadRaw(const char* name) {
  RawValue v;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\WindowsApp", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return v;
  }
  char buf[1024] = {};
  v.size = sizeof buf;
  v.present = RegQueryValueExA(key, name, nullptr, &v.type, reinterpret_cast<BYTE*>(buf), &v.size) ==
              ERROR_SUCCESS;
  v.text = buf;
  RegCloseKey(key);
  return v;
}

class MachineIdTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearRegistry(); }
  void TearDown() override { ClearRegistry(); }
  std::string Folder() const { return dir.path() + "\\"; }
  std::string IniPath() const { return Folder() + "WindowsSys.ini"; }
  void WriteFileCopy(const std::string& gs, const std::string& vs) {
    ProfileFile(IniPath(), 128).WriteString("UserInfo", "gs", gs.c_str());
    ProfileFile(IniPath(), 128).WriteString("UserInfo", "vs", vs.c_str());
  }
  std::string FileValue(const char* key) { return ProfileFile(IniPath(), 128).ReadString("UserInfo", key, ""); }
  TempFolder dir;
};

bool LooksLikeGuid(const std::string& s) {
  if (s.size() != 36) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? s[i] != '-' : !(std::isdigit(static_cast<unsigned char>(s[i])) ||
                               (s[i] >= 'A' && s[i] <= 'F'))) {
      return false;
    }
  }
  return true;
}

}  // namespace

TEST(MachineIdCode, CheckCodeIsSaltedLowercaseMd5) {
  std::string out = "untouched";
  EXPECT_FALSE(CheckIdCode("", "abc", &out));
  EXPECT_FALSE(CheckIdCode(kIdA, "", &out));
  EXPECT_EQ(out, "untouched");
  EXPECT_TRUE(CheckIdCode(kIdA, kCodeA, &out));
  EXPECT_EQ(out, kCodeA);
  EXPECT_EQ(CodeOf("A"), "07d1cc09a492d2d74765d53ecd8f4a97");
  std::string upper = gbk::ToUpper(kCodeA);
  EXPECT_FALSE(CheckIdCode(kIdA, upper, &out));  // letter case matters

  std::string g1 = NewGuidString(), g2 = NewGuidString();
  EXPECT_TRUE(LooksLikeGuid(g1)) << g1;
  EXPECT_NE(g1, g2);
}

TEST_F(MachineIdTest, ValuesAreFixedBlocksOfThreeHundredBytes) {
  std::string value;
  EXPECT_NE(ReadIdValue("mc", &value), 0);  // no key
  WriteIdValue("mc", kIdA);
  RawValue raw = ReadRaw("mc");
  ASSERT_TRUE(raw.present);
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(raw.size, 300u);
  EXPECT_EQ(raw.text, kIdA);
  EXPECT_EQ(ReadIdValue("mc", &value), 0);
  EXPECT_EQ(value, kIdA);
  EXPECT_NE(ReadIdValue("kc", &value), 0);  // key present, value missing
  EXPECT_EQ(value, "");
}

TEST_F(MachineIdTest, DecisionTableAndRepairs) {
  enum Copy { kNone, kValidA, kValidB, kWrongCode, kOnlyId, kUpperCode };
  struct Case {
    const char* label;
    Copy registry;
    Copy file;
    std::string result;
    std::string registryAfter;  // mc after the call ("" = missing)
    std::string fileAfter;      // gs after the call
  } cases[] = {
      {"both valid, same", kValidA, kValidA, kIdA, kIdA, kIdA},
      {"both valid, different: registry wins", kValidA, kValidB, kIdA, kIdA, kIdA},
      {"registry valid, file missing", kValidA, kNone, kIdA, kIdA, kIdA},
      {"registry valid, file corrupted", kValidA, kWrongCode, kIdA, kIdA, kIdA},
      {"registry missing, file valid", kNone, kValidB, kIdB, kIdB, kIdB},
      {"registry without check code, file valid", kOnlyId, kValidB, kIdB, kIdB, kIdB},
      {"registry upper-case code, file valid", kUpperCode, kValidB, kIdB, kIdB, kIdB},
      {"neither valid", kWrongCode, kUpperCode, "", kIdA, kIdA},
      {"nothing anywhere", kNone, kNone, "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ClearRegistry();
    DeleteFileA(IniPath().c_str());
    auto apply = [&](Copy copy, auto write) {
      switch (copy) {
        case kNone: break;
        case kValidA: write(kIdA, kCodeA); break;
        case kValidB: write(kIdB, CodeOf(kIdB)); break;
        case kWrongCode: write(kIdA, CodeOf(kIdB)); break;
        case kOnlyId: write(kIdA, ""); break;
        case kUpperCode: write(kIdA, gbk::ToUpper(kCodeA)); break;
      }
    };
    apply(c.registry, [](const std::string& mc, const std::string& kc) {
      WriteIdValue("mc", mc);
      if (!kc.empty()) WriteIdValue("kc", kc);
    });
    apply(c.file, [&](const std::string& gs, const std::string& vs) { WriteFileCopy(gs, vs); });

    EXPECT_EQ(GetMachineId(Folder()), c.result);
    std::string mc;
    ReadIdValue("mc", &mc);
    EXPECT_EQ(mc, c.registryAfter);
    EXPECT_EQ(FileValue("gs"), c.fileAfter);
    if (!c.result.empty()) {
      std::string kc;
      ReadIdValue("kc", &kc);
      EXPECT_EQ(kc, CodeOf(c.result));
      EXPECT_EQ(FileValue("vs"), CodeOf(c.result));
      EXPECT_EQ(ReadRaw("kc").size, 300u);
    }
  }
}

TEST_F(MachineIdTest, FirstRunMakesOneIdentifierThatLaterRunsKeep) {
  XGameSetup setup;
  gbk::CopyToBuffer(setup.installFolder, sizeof setup.installFolder, Folder());
  EXPECT_EQ(GetMachineId(Folder()), "");
  EXPECT_FALSE(setup.EnsureMachineId());
  std::string id = GetMachineId(Folder());
  EXPECT_TRUE(LooksLikeGuid(id)) << id;
  EXPECT_EQ(FileValue("gs"), id);
  EXPECT_EQ(FileValue("vs"), CodeOf(id));
  EXPECT_TRUE(setup.EnsureMachineId());
  EXPECT_EQ(GetMachineId(Folder()), id);

  // Another install folder gets the registry's identifier.
  TempFolder other;
  EXPECT_EQ(GetMachineId(other.path() + "\\"), id);
  EXPECT_EQ(ProfileFile(other.File("WindowsSys.ini"), 128).ReadString("UserInfo", "gs", ""), id);

  // Registry lost: the folder that still has its file restores it; a fresh folder does not.
  ClearRegistry();
  TempFolder fresh;
  EXPECT_EQ(GetMachineId(fresh.path() + "\\"), "");
  EXPECT_EQ(GetMachineId(Folder()), id);
  std::string mc;
  EXPECT_EQ(ReadIdValue("mc", &mc), 0);
  EXPECT_EQ(mc, id);
}

TEST_F(MachineIdTest, FileStaysInsideAFolderGivenWithoutSeparator) {
  WriteIdValue("mc", kIdA);
  WriteIdValue("kc", kCodeA);
  EXPECT_EQ(GetMachineId(dir.path()), kIdA);  // no trailing backslash
  EXPECT_EQ(FileValue("gs"), kIdA);
  EXPECT_FALSE(FileExists(dir.path() + "WindowsSys.ini"));
  EXPECT_EQ(GetMachineId(""), kIdA);  // no folder: registry only, nothing written
}
