#include <windows.h>

#include <climits>
#include <cstdint>

#include "app/xgamesetup.h"
#include "config/gbk_text.h"
#include "config/profile_file.h"
#include "net/download_file.h"
#include "net/servers.h"

int XGameSetup::LoadSetupDescription(HWND main_window) {
  if (!ParseAgencyIds()) return 1;

  std::string path;
  const std::string url = servers::SetupDescriptionUrl();
  if (DownloadFile(nullptr, &path, this, url.c_str(), false, true, false, false) != 0) return 2;
  setupInfo.descriptionPath = path;

  ProfileFile description(path, 260);
  auto read = [&](const char* key, char* field) {
    gbk::CopyToBuffer(field, 260, description.ReadString("setup", key, ""));
  };
  read("gamename", setupInfo.gameName);
  read("exefilename", setupInfo.mainExeName);
  read("ProductTitle", setupInfo.productTitle);

  const int size_mb = static_cast<int>(::GetPrivateProfileIntA("setup", "size", -1, path.c_str()));
  if (size_mb < 0) return 2;
  // Sizes beyond what fits in KB are held at the largest value rather than wrapping negative.
  const int64_t size_kb = static_cast<int64_t>(size_mb) * 1024;
  setupInfo.requiredSpaceKb = size_kb > INT_MAX ? INT_MAX : static_cast<int>(size_kb);

  read("urlAgreement", setupInfo.agreementUrl);
  read("uninstname", setupInfo.uninstallerName);
  read("Publisher", setupInfo.publisher);
  read("Contact", setupInfo.contact);

  return LoadAgencyInfo(main_window);
}
