#include "config/agency_info.h"

#include <windows.h>

#include <cstring>

#include "app/xgamesetup.h"
#include "config/gbk_text.h"
#include "config/profile_file.h"
#include "net/download_file.h"
#include "net/servers.h"

char g_productName[100] = {};

namespace {

// Longest text that fits a 260-byte buffer with its NUL.
constexpr size_t kTextMax = 259;

// The value after `marker` up to the next '-'; false when either is missing.
bool ValueAfterMarker(const std::string& name, const char* marker, std::string* value) {
  size_t at = gbk::Find(name, marker);
  if (at == std::string::npos) return false;
  size_t end = gbk::Find(name, "-", at + 1);
  if (end == std::string::npos) return false;
  *value = name.substr(at + 2, end - (at + 2));
  return true;
}

}  // namespace

bool ParseAgencyIdsFromName(const std::string& file_name, AgencyIds* ids) {
  *ids = AgencyIds();
  const std::string name = gbk::ToUpper(file_name);
  if (!ValueAfterMarker(name, "-F", &ids->FromID)) return false;
  if (!ValueAfterMarker(name, "-A", &ids->AgencyID)) return false;
  ids->StandaloneAgencyID = ids->AgencyID;
  if (!ValueAfterMarker(name, "-B", &ids->StandaloneAgencyID)) return false;
  if (!ValueAfterMarker(name, "-P", &ids->PageID)) return false;

  size_t dash = gbk::FindLastChar(name, '-');
  if (dash == std::string::npos) return false;
  size_t end = gbk::Find(name, "(", dash + 1);
  if (end == std::string::npos) end = gbk::Find(name, ".", dash + 1);
  if (end == std::string::npos) return false;
  ids->PCID = name.substr(dash + 1, end - (dash + 1));
  return true;
}

void StripCategorySuffix(std::string* text) {
  static const char kSuffix[] = "棋牌";
  if (!text || text->empty()) return;
  size_t at = text->find(kSuffix);  // plain byte search, first occurrence only
  if (at != std::string::npos && text->compare(at, std::string::npos, kSuffix) == 0) {
    text->resize(at);
  }
}

bool XGameSetup::ParseAgencyIds() {
  const std::string path = GetModulePath();
  size_t sep = gbk::FindLastChar(path, '\\');
  const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  if (!ParseAgencyIdsFromName(name, &agencyIds)) return false;
  std::string trace = gbk::Format("log: F(%s), A(%s), B(%s), P(%s), PCID(%s)",
                                  agencyIds.FromID.c_str(), agencyIds.AgencyID.c_str(),
                                  agencyIds.StandaloneAgencyID.c_str(), agencyIds.PageID.c_str(),
                                  agencyIds.PCID.c_str());
  ::OutputDebugStringA(trace.c_str());
  return true;
}

int XGameSetup::LoadAgencyInfo(HWND main_window) {
  const std::string url = gbk::FormatCut(kTextMax, servers::kAgencyTextUrlFormat,
                                         servers::AgencyTextBaseUrl().c_str(),
                                         agencyIds.StandaloneAgencyID.c_str());
  ::OutputDebugStringA(("log: " + url).c_str());

  std::string text_path;
  if (DownloadFile(nullptr, &text_path, this, url.c_str(), false, true, false, false) != 0) {
    return 2;
  }
  if (::GetPrivateProfileIntA("BaseInfo", "Enable", 0, text_path.c_str()) == 0) return 1;

  ProfileFile text(text_path, 260);
  const std::string product = text.ReadString("BaseInfo", "ProductName", g_productName);
  const std::string domain = text.ReadString("BaseInfo", "DomainName", "");

  if (main_window) {
    ::SetWindowTextA(main_window, gbk::FormatCut(kTextMax, "%s在线安装", product.c_str()).c_str());
  }
  // The shared name holds 99 bytes; a longer name is cut on a whole character.
  std::memset(g_productName, 0, sizeof g_productName);
  gbk::CopyToBuffer(g_productName, sizeof g_productName, product);

  std::string base = product;
  StripCategorySuffix(&base);
  struct {
    char* field;
    std::string value;
  } composed[] = {
      {setupInfo.gameName, base + "棋牌游戏"},
      {setupInfo.productTitle, base + "棋牌游戏大厅"},
      {setupInfo.contact, base + "棋牌游戏 Support Department"},
      {setupInfo.agreementUrl, domain + "/Treaty.aspx"},
  };
  for (auto& c : composed) {
    std::memset(c.field, 0, 260);
    gbk::CopyToBuffer(c.field, 260, c.value);
  }
  return 0;
}

void XGameSetup::WriteAgencyIni() {
  // Not cut: a path that does not fit fails to open instead of naming another file.
  const std::string path = std::string(installFolder) + "\\Config\\Agency.ini";
  const std::pair<const char*, const std::string*> values[] = {
      {"FromID", &agencyIds.FromID},       {"AgencyID", &agencyIds.AgencyID},
      {"StandaloneAgencyID", &agencyIds.StandaloneAgencyID},
      {"PageID", &agencyIds.PageID},       {"PCID", &agencyIds.PCID},
  };
  for (const auto& v : values) {
    ::WritePrivateProfileStringA("Config", v.first, v.second->c_str(), path.c_str());
  }
}
