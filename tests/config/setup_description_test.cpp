// Setup description and agency text fetched from a scripted server.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "app/xgamesetup.h"
#include "config/agency_info.h"
#include "core/gbk_text.h"
#include "system/profile_file.h"
#include "debug_trace_recorder.h"
#include "core/md5.h"
#include "net/servers.h"
#include "scripted_server.h"
#include "test_seams.h"
#include "test_signer.h"

namespace {

constexpr char kInstaller[] = "C:\\dl\\setup-F12-A345-B678-P9-1001.exe";
constexpr char kDescriptionPath[] = "/uploads/online_setup.txt";
constexpr char kAgencyPath[] = "/uploads/txt/Agency/Agency_678.txt";
constexpr char kRefused[] = "http://127.0.0.1:1";

// Points the module name and both servers somewhere for one test.
class Environment {
 public:
  Environment() {
    SetModulePathForTesting(kInstaller);
    servers::SetServerBasesForTesting(server.BaseUrl(), server.BaseUrl());
    std::memset(g_productName, 0, sizeof g_productName);
  }
  ~Environment() {
    SetModulePathForTesting("");
    servers::SetServerBasesForTesting("", "");
  }
  // A validator that follows the body, so a cached copy of other content is never reused.
  void Serve(const char* path, const std::string& body) {
    server.ServeResource(path, body, "\"" + Md5OfBytes(body.data(), body.size()) + "\"", "");
  }
  ScriptedServer server;
  ScopedMessageBoxRecorder boxes;
  ScopedNoSleep noSleep;
};

// A hidden window whose title the agency step sets.
struct TitleWindow {
  TitleWindow() { hwnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr); }
  ~TitleWindow() { DestroyWindow(hwnd); }
  std::string Title() const {
    char buf[600] = {};
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
  }
  HWND hwnd;
};

const char kFullDescription[] =
    "[setup]\r\ngamename=老游戏\r\nexefilename=Hall.exe\r\nProductTitle=老大厅\r\nsize=300\r\n"
    "urlAgreement=http://old/agree\r\nuninstname=uninst.exe\r\nPublisher=出版者\r\nContact=老联系\r\n"
    "[config]\r\nother=http://list\r\n";
const char kEnabledAgency[] =
    "[BaseInfo]\r\nEnable=1\r\nProductName=欢乐棋牌\r\nDomainName=http://www.hl.com\r\n";

}  // namespace

TEST(SetupDescription, ResultCodes) {
  struct Case {
    const char* label;
    const char* installer;    // module path
    const char* description;  // nullptr: the download server refuses connections
    const char* agency;       // nullptr: the agency server refuses connections
    int result;
    bool agencyAsked;
    int requiredKb;
  } cases[] = {
      {"renamed installer", "C:\\dl\\setup.exe", kFullDescription, kEnabledAgency, 1, false, 0},
      {"description unreachable", kInstaller, nullptr, kEnabledAgency, 2, false, 0},
      {"size missing", kInstaller, "[setup]\r\ngamename=x\r\n", kEnabledAgency, 2, false, 0},
      {"size negative", kInstaller, "[setup]\r\nsize=-1\r\n", kEnabledAgency, 2, false, 0},
      {"error page instead of text", kInstaller, "<html>404</html>", kEnabledAgency, 2, false, 0},
      {"size zero", kInstaller, "[setup]\r\nsize=0\r\n", kEnabledAgency, 0, true, 0},
      {"size 300", kInstaller, "[setup]\r\nsize=300\r\n", kEnabledAgency, 0, true, 307200},
      {"size beyond KB range", kInstaller, "[setup]\r\nsize=3000000\r\n", kEnabledAgency, 0, true,
       INT_MAX},
      {"agency disabled", kInstaller, kFullDescription, "[BaseInfo]\r\nEnable=0\r\n", 1, true,
       307200},
      {"agency Enable 2 counts as on", kInstaller, kFullDescription,
       "[BaseInfo]\r\nEnable=2\r\n", 0, true, 307200},
      {"agency without Enable", kInstaller, kFullDescription, "[BaseInfo]\r\nProductName=x\r\n", 1,
       true, 307200},
      {"agency unreachable", kInstaller, kFullDescription, nullptr, 2, false, 307200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Environment env;
    SetModulePathForTesting(c.installer);
    if (c.description) env.Serve(kDescriptionPath, c.description);
    if (c.agency) env.Serve(kAgencyPath, c.agency);
    servers::SetServerBasesForTesting(c.description ? env.server.BaseUrl() : kRefused,
                                      c.agency ? env.server.BaseUrl() : kRefused);
    XGameSetup setup;
    EXPECT_EQ(setup.LoadSetupDescription(nullptr), c.result);
    EXPECT_EQ(env.server.RequestsFor(kAgencyPath).size(), c.agencyAsked ? 1u : 0u);
    if (c.result == 1 && !c.agencyAsked) {
      EXPECT_TRUE(env.server.Requests().empty());
    }
    if (c.result == 0 || c.agencyAsked) {
      EXPECT_EQ(setup.setupInfo.requiredSpaceKb, c.requiredKb);
    }
  }
}

TEST(SetupDescription, FillsSettingsAndAgencyReplacesItsFour) {
  Environment env;
  env.Serve(kDescriptionPath, kFullDescription);
  env.Serve(kAgencyPath, kEnabledAgency);
  TitleWindow window;
  XGameSetup setup;
  ASSERT_EQ(setup.LoadSetupDescription(window.hwnd), 0);

  const SetupInfo& s = setup.setupInfo;
  EXPECT_STREQ(s.gameName, "欢乐棋牌游戏");
  EXPECT_STREQ(s.productTitle, "欢乐棋牌游戏大厅");
  EXPECT_STREQ(s.contact, "欢乐棋牌游戏 Support Department");
  EXPECT_STREQ(s.agreementUrl, "http://www.hl.com/Treaty.aspx");
  EXPECT_STREQ(s.mainExeName, "Hall.exe");
  EXPECT_STREQ(s.uninstallerName, "uninst.exe");
  EXPECT_STREQ(s.publisher, "出版者");
  EXPECT_EQ(s.requiredSpaceKb, 307200);
  EXPECT_STREQ(g_productName, "欢乐棋牌");
  EXPECT_EQ(window.Title(), "欢乐棋牌在线安装");
  // The local copy stays for the update-list step.
  EXPECT_EQ(GetPrivateProfileIntA("setup", "size", -1, s.descriptionPath.c_str()), 300);
  EXPECT_EQ(setup.agencyIds.StandaloneAgencyID, "678");
  EXPECT_EQ(env.server.RequestsFor(kDescriptionPath).size(), 1u);
}

TEST(SetupDescription, MissingKeysStayEmptyAndLongValuesAreCut) {
  Environment env;
  const std::string long_exe(300, 'e');
  const std::string long_name = std::string(258, 'g') + "游戏";  // 262 bytes
  env.Serve(kDescriptionPath, "[setup]\r\nsize=5\r\nexefilename=" + long_exe +
                                  "\r\ngamename=" + long_name + "\r\n");
  env.Serve(kAgencyPath, "[BaseInfo]\r\nEnable=0\r\n");  // agency step changes nothing
  XGameSetup setup;
  EXPECT_EQ(setup.LoadSetupDescription(nullptr), 1);
  EXPECT_EQ(std::string(setup.setupInfo.mainExeName), long_exe.substr(0, 259));
  EXPECT_EQ(std::string(setup.setupInfo.gameName), std::string(258, 'g'));  // 游 would not fit
  EXPECT_EQ(setup.setupInfo.requiredSpaceKb, 5120);
  for (const char* field : {setup.setupInfo.productTitle, setup.setupInfo.agreementUrl,
                            setup.setupInfo.uninstallerName, setup.setupInfo.publisher,
                            setup.setupInfo.contact}) {
    EXPECT_STREQ(field, "");
  }
}

TEST(AgencyText, ProductNameShapesTheTexts) {
  const std::string han75 = [] {
    std::string s;
    for (int i = 0; i < 75; ++i) s += "欢";
    return s;
  }();
  const std::string han129 = han75 + han75.substr(0, 54 * 2);  // 258 bytes
  struct Case {
    const char* label;
    std::string agency;
    const char* previousName;
    std::string product;  // expected g_productName
    std::string game;
    std::string agreement;
  } cases[] = {
      {"suffix stripped", "ProductName=欢乐棋牌\r\nDomainName=http://d", "", "欢乐棋牌",
       "欢乐棋牌游戏", "http://d/Treaty.aspx"},
      {"no suffix", "ProductName=欢乐\r\n", "", "欢乐", "欢乐棋牌游戏", "/Treaty.aspx"},
      {"name missing keeps the previous", "DomainName=d", "旧名", "旧名", "旧名棋牌游戏",
       "d/Treaty.aspx"},
      {"long name cut for the shared name", "ProductName=" + han75, "", han75.substr(0, 98),
       han75 + "棋牌游戏", "/Treaty.aspx"},
      {"composed texts cut on whole characters", "ProductName=" + han129, "", han75.substr(0, 98),
       han129, "/Treaty.aspx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Environment env;
    std::strcpy(g_productName, c.previousName);
    env.Serve(kAgencyPath, "[BaseInfo]\r\nEnable=1\r\n" + c.agency + "\r\n");
    TitleWindow window;
    XGameSetup setup;
    setup.agencyIds.StandaloneAgencyID = "678";
    ASSERT_EQ(setup.LoadAgencyInfo(window.hwnd), 0);
    EXPECT_EQ(std::string(g_productName), c.product);
    EXPECT_EQ(std::string(setup.setupInfo.gameName), c.game);
    EXPECT_EQ(std::string(setup.setupInfo.agreementUrl), c.agreement);
    EXPECT_LE(std::strlen(setup.setupInfo.productTitle), 259u);
    EXPECT_LE(std::strlen(setup.setupInfo.contact), 259u);
    EXPECT_LE(window.Title().size(), 259u);
    EXPECT_EQ(std::string(gbk::CutToBytes(setup.setupInfo.contact, 259)), setup.setupInfo.contact);
  }
}

TEST(SetupDescription, TracesTheIdentifiersAndTheAgencyAddress) {
  ScopedDebugTraceRecorder traces;
  if (!traces.Works()) GTEST_SKIP() << "debug output cannot be recorded here";
  Environment env;
  SetModulePathForTesting("C:\\dl\\setup-f12-a345-b678-p9-1001(2).exe");
  env.Serve(kDescriptionPath, "[setup]\r\nsize=1\r\n");
  env.Serve(kAgencyPath, kEnabledAgency);
  XGameSetup setup;
  ASSERT_EQ(setup.LoadSetupDescription(nullptr), 0);
  EXPECT_EQ(traces.StartingWith("log: "),
            (std::vector<std::string>{"log: F(12), A(345), B(678), P(9), PCID(1001)",
                                      "log: " + env.server.BaseUrl() + kAgencyPath}));
}

// A keyed installer reads each text only when its signature beside it holds;
// an unkeyed one asks for no signature.
TEST(SetupDescription, KeyedReadsOnlySignedTexts) {
  TestSigner signer, stranger;
  enum Change { kNone, kUnkeyed, kDescriptionByte, kNoDescriptionSignature, kAgencyForeignSignature,
                kAgencyOtherKey, kAgencyByte };
  struct Case {
    Change change;
    int result;
    const char* failed;  // path named by the message; null: no message
  } cases[] = {
      {kNone, 0, nullptr},
      {kUnkeyed, 0, nullptr},
      {kDescriptionByte, 2, kDescriptionPath},
      {kNoDescriptionSignature, 2, kDescriptionPath},
      {kAgencyForeignSignature, 2, kAgencyPath},
      {kAgencyOtherKey, 2, kAgencyPath},
      {kAgencyByte, 2, kAgencyPath},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    Environment env;
    ScopedPublisherKey key(c.change == kUnkeyed ? nullptr : signer.publicKey());
    const std::string base = env.server.BaseUrl();
    const std::string description = kFullDescription;
    const std::string agency = kEnabledAgency;
    ServeExact(&env.server, kDescriptionPath,
               c.change == kDescriptionByte ? description + ";" : description);
    ServeExact(&env.server, kAgencyPath, c.change == kAgencyByte ? agency + ";" : agency);
    if (c.change != kUnkeyed && c.change != kNoDescriptionSignature)
      ServeExact(&env.server, std::string(kDescriptionPath) + ".sig", signer.Sign(base + kDescriptionPath, description));
    const TestSigner& agency_signer = c.change == kAgencyOtherKey ? stranger : signer;
    const std::string agency_signature =
        c.change == kAgencyForeignSignature ? signer.Sign(base + kDescriptionPath, description)
                                            : agency_signer.Sign(base + kAgencyPath, agency);
    if (c.change != kUnkeyed) ServeExact(&env.server, std::string(kAgencyPath) + ".sig", agency_signature);

    XGameSetup setup;
    EXPECT_EQ(setup.LoadSetupDescription(nullptr), c.result);
    const std::vector<ShownMessage> shown = env.boxes.shown();
    if (c.failed) {
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_EQ(shown[0].text, std::string("文件校验失败:") + base + c.failed);
      EXPECT_EQ(shown[0].caption, "错误");
    } else {
      EXPECT_TRUE(shown.empty());
    }
    // The description is read only after its signature holds; the agency
    // text is not asked for when the description failed.
    EXPECT_EQ(setup.setupInfo.descriptionPath.empty(), c.failed == kDescriptionPath);
    EXPECT_EQ(env.server.RequestsFor(kAgencyPath).empty(), c.failed == kDescriptionPath);
    EXPECT_EQ(std::string(setup.setupInfo.gameName), c.failed ? (c.failed == kAgencyPath ? "老游戏" : "") : "欢乐棋牌游戏");
    EXPECT_EQ(env.server.RequestsFor(std::string(kDescriptionPath) + ".sig").empty(), c.change == kUnkeyed);
  }
}
