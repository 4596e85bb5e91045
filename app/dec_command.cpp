#include "app/dec_command.h"

#include <windows.h>

#include "app/xgamesetup.h"
#include "core/gbk_text.h"
#include "net/download_file.h"
#include "net/servers.h"
#include "package/extract_package.h"
#include "system/close_window.h"
#include "system/release_cleanup.h"
#include "system/seams.h"

namespace {

// A client the system reports as not responding for this long is given up.
constexpr UINT kCloseClientHungMs = 10000;

// Waits while the running client answers (it may ask "really quit?" first);
// false when the stop request ended the wait.
bool CloseRunningClient(XGameSetup* c) {
  const char* product_title = c->setupInfo.productTitle;
  // An empty title would match any untitled window of the desktop.
  if (product_title[0] == '\0') return true;
  HWND client = ::FindWindowA(nullptr, product_title);
  if (!client) return true;
  return AskWindowToClose(client, kCloseClientHungMs, [c] { return c->StopRequested(); });
}

// True when `path` names a file (not a folder).
bool IsFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
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
  if (!CloseRunningClient(c)) return;  // stopped: end silently, as before the actions
  std::string agency_program = FetchAgencyProgram(c, entry);

  std::string extract_error;
  std::vector<std::string> installed;
  if (ExtractPackage(c->window, entry.destfile.c_str(), c->installFolder, &extract_error,
                     [c] { return c->StopRequested(); }, &installed)) {
    if (c->StopRequested()) {
      // The user's own stop: no message, and the package stays, so the next
      // run installs from it without downloading it again.
      PostState(c->window, SETUP_STATE_ERROR);
      return;
    }
    // A file that cannot be written or a full volume is named in the text.
    if (extract_error.empty()) extract_error = kExtractFailedText;
    gbk::CopyToBuffer(c->errorText, sizeof c->errorText, extract_error);
    seams::ShowMessageBox(c->window, extract_error.c_str(), "错误", MB_OK);
    PostState(c->window, SETUP_STATE_ERROR);
    return;
  }
  ::DeleteFileA(JoinPath(c->installFolder, entry.destfile).c_str());
  // What the previous release installed and this one no longer ships goes.
  ReplaceReleaseRecord(c->installFolder, installed);

  if (!agency_program.empty() && IsPeImage(agency_program)) {
    const std::string target = gbk::Format("%s\\%s", c->installFolder, servers::kAgencyExeName);
    ::CopyFileA(agency_program.c_str(), target.c_str(), FALSE);
  }

  const std::string main_program = gbk::Format("%s%s", c->installFolder, c->setupInfo.mainExeName);
  // Without it the shortcuts and the uninstall entry would start nothing.
  if (c->setupInfo.mainExeName[0] == '\0' || !IsFile(main_program)) {
    const std::string text = gbk::FormatCut(260, "安装包中缺少主程序:%s", main_program.c_str());
    gbk::CopyToBuffer(c->errorText, sizeof c->errorText, text);
    seams::ShowMessageBox(c->window, text.c_str(), "错误", MB_OK);
    PostState(c->window, SETUP_STATE_ERROR);
    return;
  }
  gbk::CopyToBuffer(c->mainProgramPath, sizeof c->mainProgramPath, main_program);
  gbk::CopyToBuffer(c->uninstallerPath, sizeof c->uninstallerPath,
                    gbk::Format("%suninstall\\%s", c->installFolder, c->setupInfo.uninstallerName));
  PostState(c->window, SETUP_STATE_DONE);
}
