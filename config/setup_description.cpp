#include "config/setup_description.h"

#include <windows.h>

#include <climits>
#include <cstdint>

#include "config/agency_info.h"
#include "core/gbk_text.h"
#include "system/profile_file.h"
#include "net/download_context.h"
#include "net/download_file.h"
#include "net/servers.h"
#include "net/signed_download.h"
#include "system/seams.h"
#include "system/setup_messages.h"

bool FetchSignedText(DownloadContext* client, const std::string& url, std::string* path) {
  if (DownloadFile(nullptr, path, client, url.c_str(), false, true, false, false) != 0) return false;
  const std::string failure = signed_download::VerifySignedText(client, url, *path, false, "");
  if (failure.empty()) return true;
  gbk::CopyToBuffer(client->errorText, sizeof client->errorText, failure);
  seams::ShowMessageBox(client->window, client->errorText, "错误", MB_OK);
  PostState(client->window, SETUP_STATE_ERROR);
  return false;
}

int LoadSetupDescription(DownloadContext* client, SetupInfo* info, HWND main_window) {
  if (!ParseAgencyIds(&client->agencyIds)) return 1;

  std::string path;
  const std::string url = servers::SetupDescriptionUrl();
  // Before anything reads it: a keyed installer takes only what the publisher signed.
  if (!FetchSignedText(client, url, &path)) return 2;
  info->descriptionPath = path;

  ProfileFile description(path, kSetupFieldBytes);
  auto read = [&](const char* key, char* field) {
    gbk::CopyToBuffer(field, kSetupFieldBytes, description.ReadString("setup", key, ""));
  };
  read("gamename", info->gameName);
  read("exefilename", info->mainExeName);
  read("ProductTitle", info->productTitle);

  const int size_mb = static_cast<int>(::GetPrivateProfileIntA("setup", "size", -1, path.c_str()));
  if (size_mb < 0) return 2;
  // Sizes beyond what fits in KB are held at the largest value rather than wrapping negative.
  const int64_t size_kb = static_cast<int64_t>(size_mb) * 1024;
  info->requiredSpaceKb = size_kb > INT_MAX ? INT_MAX : static_cast<int>(size_kb);

  read("urlAgreement", info->agreementUrl);
  read("uninstname", info->uninstallerName);
  read("Publisher", info->publisher);
  read("Contact", info->contact);

  return LoadAgencyInfo(client, info, main_window);
}
