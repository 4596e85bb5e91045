#include "app/dec_command.h"

#include <windows.h>

#include <cstring>

#include "app/xgamesetup.h"
#include "config/installed_release.h"
#include "core/gbk_text.h"
#include "core/path_join.h"
#include "core/signed_release.h"
#include "net/signed_download.h"
#include "net/download_file.h"
#include "net/servers.h"
#include "package/extract_package.h"
#include "system/close_window.h"
#include "system/file_attributes.h"
#include "system/release_cleanup.h"
#include "system/trace.h"

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

std::string TempFolder() {
  char buf[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathA(sizeof buf, buf);
  if (n == 0 || n > MAX_PATH) return std::string();
  return buf;
}

std::string AgencyProgramUrl(XGameSetup* c, const UpdateEntry& entry) {
  return gbk::Format(servers::kAgencyExeUrlFormat, entry.agencyExeUrl.c_str(),
                     c->agencyIds.StandaloneAgencyID.c_str(), servers::kAgencyExeName);
}

// What the download routine says of a file that is not the one its
// manifest record describes, as opposed to one it could not fetch.
constexpr char kDownloadCheckFailedPrefix[] = "安装包校验失败:";

// With a manifest, `record` is what it lists for the program (null: not
// fetched at all, the packaged main program stays). `mismatch` tells a copy
// the download refused from one that could not be fetched.
std::string FetchAgencyProgram(XGameSetup* c, const std::string& url, const SignedManifest* manifest,
                               const ManifestFile* record, bool* mismatch) {
  *mismatch = false;
  if (manifest && !record) return std::string();
  std::string temp = TempFolder();
  if (temp.empty()) return std::string();
  std::string target = temp + servers::kAgencyExeName;
  TraceLine("log: " + url);
  std::string local;
  // Optional: a few tries, then the packaged main program stays.
  c->expectedFile = record;
  const int result = DownloadOptionalFile(target.c_str(), &local, c, url.c_str(), true, true);
  c->expectedFile = nullptr;
  if (result != 0) {
    *mismatch = record && std::strncmp(c->errorText, kDownloadCheckFailedPrefix,
                                       sizeof kDownloadCheckFailedPrefix - 1) == 0;
    return std::string();
  }
  return local;
}

// A fetched agency program that is not the one the manifest lists ends the
// installation: it is deleted and never replaces main.exe.
bool AgencyProgramHolds(XGameSetup* c, const std::string& url, const ManifestFile* record,
                        const std::string& local, bool mismatch = false) {
  if (!mismatch && (!record || local.empty() || signed_download::FileMatchesRecord(local, *record)))
    return true;
  signed_download::DiscardDownload(url, local, c->agencyIds.StandaloneAgencyID);
  ReportError(c, signed_download::VerificationFailedText(url));
  return false;
}

}  // namespace

void ReportError(XGameSetup* c, const std::string& text) {
  gbk::CopyToBuffer(c->errorText, sizeof c->errorText, text);
  ReportDownloadFailure(c);
}

bool PrepareDecCommand(XGameSetup* c, const UpdateEntry& entry, const SignedManifest* manifest,
                       DecPreparation* prep) {
  if (!CloseRunningClient(c)) return false;  // stopped: end silently, as before the actions
  prep->agency_url = AgencyProgramUrl(c, entry);
  prep->agency_record = manifest ? ManifestRecordForUrl(*manifest, prep->agency_url) : nullptr;
  bool mismatch = false;
  prep->agency_program =
      FetchAgencyProgram(c, prep->agency_url, manifest, prep->agency_record, &mismatch);
  // Checked before anything is extracted, and again before it replaces main.exe.
  return AgencyProgramHolds(c, prep->agency_url, prep->agency_record, prep->agency_program,
                            mismatch);
}

void CompleteDecCommand(XGameSetup* c, const UpdateEntry& entry, const SignedManifest* manifest,
                        const DecPreparation& prep, bool extract_failed,
                        const std::string& extract_error,
                        const std::vector<std::string>& installed) {
  if (extract_failed) {
    if (c->StopRequested()) {
      // The user's own stop: no message, and the package stays, so the next
      // run installs from it without downloading it again.
      PostState(c->window, SETUP_STATE_ERROR);
      return;
    }
    // A file that cannot be written or a full volume is named in the text.
    return ReportError(c, extract_error.empty() ? std::string(kExtractFailedText) : extract_error);
  }
  ::DeleteFileA(JoinPath(c->installFolder, entry.destfile).c_str());
  // What the previous release installed and this one no longer ships goes.
  ReplaceReleaseRecord(c->installFolder, installed);

  if (!AgencyProgramHolds(c, prep.agency_url, prep.agency_record, prep.agency_program)) return;
  if (!prep.agency_program.empty() && IsPeImage(prep.agency_program)) {
    const std::string target = gbk::Format("%s\\%s", c->installFolder, servers::kAgencyExeName);
    ::CopyFileA(prep.agency_program.c_str(), target.c_str(), FALSE);
  }
  const std::string main_program = gbk::Format("%s%s", c->installFolder, c->setupInfo.mainExeName);
  // Without it the shortcuts and the uninstall entry would start nothing.
  if (c->setupInfo.mainExeName[0] == '\0' || !IsFile(main_program)) {
    return ReportError(c, gbk::FormatCut(sizeof c->errorText - 1, "安装包中缺少主程序:%s",
                                         main_program.c_str()));
  }
  gbk::CopyToBuffer(c->mainProgramPath, sizeof c->mainProgramPath, main_program);
  gbk::CopyToBuffer(c->uninstallerPath, sizeof c->uninstallerPath,
                    gbk::Format("%suninstall\\%s", c->installFolder, c->setupInfo.uninstallerName));
  if (manifest) RecordInstalledRelease(c->setupInfo.gameName, manifest->release);
  PostState(c->window, SETUP_STATE_DONE);
}

void RunDecCommand(XGameSetup* c, const UpdateEntry& entry, const SignedManifest* manifest) {
  DecPreparation prep;
  if (!PrepareDecCommand(c, entry, manifest, &prep)) return;
  std::string extract_error;
  std::vector<std::string> installed;
  const bool failed = ExtractPackage(c->window, entry.destfile.c_str(), c->installFolder,
                                     &extract_error, [c] { return c->StopRequested(); }, &installed);
  CompleteDecCommand(c, entry, manifest, prep, failed, extract_error, installed);
}
