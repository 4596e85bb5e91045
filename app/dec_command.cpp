#include "app/dec_command.h"

#include <windows.h>

#include "app/xgamesetup.h"
#include "config/gbk_text.h"
#include "net/download_file.h"
#include "net/servers.h"
#include "package/extract_package.h"
#include "system/seams.h"

namespace {

// A client that does not answer WM_CLOSE must not hold the installation up forever.
constexpr UINT kCloseClientTimeoutMs = 10000;

void CloseRunningClient(const char* product_title) {
  // An empty title would match any untitled window of the desktop.
  if (product_title[0] == '\0') return;
  HWND client = ::FindWindowA(nullptr, product_title);
  if (!client) return;
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutA(client, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, kCloseClientTimeoutMs, &ignored);
}

std::string TempFolder() {
  char buf[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathA(sizeof buf, buf);
  if (n == 0 || n > MAX_PATH) return std::string();
  return buf;
}

std::string FetchAgencyProgram(XGameSetup* c, const UpdateEntry& entry) {
  std::string temp = TempFolder();
  if (temp.empty()) return std::string();
  std::string target = temp + servers::kAgencyExeName;
  std::string url = gbk::Format(servers::kAgencyExeUrlFormat, entry.agencyExeUrl.c_str(),
                                c->agencyIds.StandaloneAgencyID.c_str(), servers::kAgencyExeName);
  ::OutputDebugStringA(("log: " + url).c_str());
  std::string local;
  // Optional: a few tries, then the packaged main program stays.
  if (DownloadOptionalFile(target.c_str(), &local, c, url.c_str(), true, true) != 0)
    return std::string();
  return local;
}

}  // namespace

void RunDecCommand(XGameSetup* c, const UpdateEntry& entry) {
  CloseRunningClient(c->setupInfo.productTitle);
  std::string agency_program = FetchAgencyProgram(c, entry);

  if (ExtractPackage(c->window, entry.destfile.c_str(), c->installFolder)) {
    gbk::CopyToBuffer(c->errorText, sizeof c->errorText, "解压文件失败");
    seams::ShowMessageBox(c->window, "解压文件失败", "错误", MB_OK);
    PostState(c->window, SETUP_STATE_ERROR);
    return;
  }
  ::DeleteFileA(JoinPath(c->installFolder, entry.destfile).c_str());

  if (!agency_program.empty() && IsPeImage(agency_program)) {
    std::string installed = gbk::Format("%s\\%s", c->installFolder, servers::kAgencyExeName);
    ::CopyFileA(agency_program.c_str(), installed.c_str(), FALSE);
  }

  gbk::CopyToBuffer(c->mainProgramPath, sizeof c->mainProgramPath,
                    gbk::Format("%s%s", c->installFolder, c->setupInfo.mainExeName));
  gbk::CopyToBuffer(c->uninstallerPath, sizeof c->uninstallerPath,
                    gbk::Format("%suninstall\\%s", c->installFolder, c->setupInfo.uninstallerName));
  PostState(c->window, SETUP_STATE_DONE);
}
