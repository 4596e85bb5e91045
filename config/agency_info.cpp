#include "config/agency_info.h"

#include <windows.h>

#include <cstring>

#include "config/setup_description.h"
#include "core/buffer_limits.h"
#include "core/gbk_text.h"
#include "system/profile_file.h"
#include "net/download_context.h"
#include "net/servers.h"
#include "system/trace.h"

char g_productName[100] = {};

bool ParseAgencyIds(AgencyIds* ids) {
  const std::string path = GetModulePath();
  size_t sep = gbk::FindLastChar(path, '\\');
  const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  if (!ParseAgencyIdsFromName(name, ids)) return false;
  TraceLine(gbk::Format("log: F(%s), A(%s), B(%s), P(%s), PCID(%s)", ids->FromID.c_str(),
                        ids->AgencyID.c_str(), ids->StandaloneAgencyID.c_str(),
                        ids->PageID.c_str(), ids->PCID.c_str()));
  return true;
}

int LoadAgencyInfo(DownloadContext* client, SetupInfo* info, HWND main_window) {
  const std::string url = gbk::FormatCut(kPathTextMax, servers::kAgencyTextUrlFormat,
                                         servers::AgencyTextBaseUrl().c_str(),
                                         client->agencyIds.StandaloneAgencyID.c_str());
  TraceLine("log: " + url);

  std::string text_path;
  if (!FetchSignedText(client, url, &text_path)) return 2;
  if (::GetPrivateProfileIntA("BaseInfo", "Enable", 0, text_path.c_str()) == 0) return 1;

  ProfileFile text(text_path, kSetupFieldBytes);
  const std::string product = text.ReadString("BaseInfo", "ProductName", g_productName);
  const std::string domain = text.ReadString("BaseInfo", "DomainName", "");

  if (main_window) {
    ::SetWindowTextA(main_window, gbk::FormatCut(kPathTextMax, "%s在线安装", product.c_str()).c_str());
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
      {info->gameName, base + "棋牌游戏"},
      {info->productTitle, base + "棋牌游戏大厅"},
      {info->contact, base + "棋牌游戏 Support Department"},
      {info->agreementUrl, domain + "/Treaty.aspx"},
  };
  for (auto& c : composed) {
    std::memset(c.field, 0, kSetupFieldBytes);
    gbk::CopyToBuffer(c.field, kSetupFieldBytes, c.value);
  }
  return 0;
}

void WriteAgencyIni(const char* install_folder, const AgencyIds& ids) {
  // Not cut: a path that does not fit fails to open instead of naming another file.
  const std::string path = std::string(install_folder) + "\\Config\\Agency.ini";
  const std::pair<const char*, const std::string*> values[] = {
      {"FromID", &ids.FromID},       {"AgencyID", &ids.AgencyID},
      {"StandaloneAgencyID", &ids.StandaloneAgencyID},
      {"PageID", &ids.PageID},       {"PCID", &ids.PCID},
  };
  for (const auto& v : values) {
    ::WritePrivateProfileStringA("Config", v.first, v.second->c_str(), path.c_str());
  }
}
