// Starting the installation on the window's thread and running it on the
// worker thread. The worker reports only by posting messages to the window.
#include <windows.h>

#include <atomic>
#include <cstring>

#include "app/dec_command.h"
#include "core/buffer_limits.h"
#include "app/install_hooks.h"
#include "app/update_list.h"
#include "app/window_commands.h"
#include "app/xgamesetup.h"
#include "config/extent_config.h"
#include "core/gbk_text.h"
#include "core/path_join.h"
#include "core/release_record.h"
#include "config/installed_release.h"
#include "config/machine_id.h"
#include "core/signed_release.h"
#include "core/verified_arrival.h"
#include "net/download_context.h"
#include "net/signed_download.h"
#include "system/profile_file.h"
#include "net/download_file.h"
#include "net/servers.h"
#include "package/extract_package.h"
#include "system/ccommon.h"
#include "system/file_attributes.h"
#include "system/seams.h"

namespace {

constexpr char kWorkerStartFailed[] = "无法启动安装过程，请关闭其他程序后重试";

std::atomic<install_hooks::EntryReadFn> g_entry_read_hook{nullptr};
std::atomic<bool> g_worker_start_fails{false};

// Why a verified release may not be installed here, or empty: older than
// what this machine has, or past its last day.
std::string RefusedReleaseText(const SignedManifest& manifest, const std::string& list_url,
                               const std::string& manifest_url, const char* product) {
  const uint64_t installed = ReadInstalledRelease(product);
  const ManifestDate local = signed_download::LocalDate();
  // Only an expiry the local date sees can be put off by the server's clock,
  // so the server is asked only then.
  ManifestDate server;
  const bool have_server =
      IsManifestExpired(manifest, local) && signed_download::FetchServerDate(manifest_url, &server);
  switch (JudgeRelease(manifest, installed, local, have_server ? &server : nullptr)) {
    case ReleaseVerdict::kAccepted:
      return std::string();
    case ReleaseVerdict::kOlder:
      return gbk::FormatCut(kMessageTextMax, "更新列表的版本(%s)低于本机已安装的版本(%s), 已拒绝安装:%s",
                            std::to_string(manifest.release).c_str(),
                            std::to_string(installed).c_str(), list_url.c_str());
    case ReleaseVerdict::kExpired:
      break;
  }
  return gbk::FormatCut(kMessageTextMax, "更新列表已过期(有效期至 %04d-%02d-%02d):%s", manifest.expires.year,
                        manifest.expires.month, manifest.expires.day, list_url.c_str());
}

// Sets the worker-finished event once, however the worker ends.
class FinishedSignal {
 public:
  explicit FinishedSignal(HANDLE event) : event_(event) {}
  ~FinishedSignal() { ::SetEvent(event_); }
  FinishedSignal(const FinishedSignal&) = delete;
  FinishedSignal& operator=(const FinishedSignal&) = delete;

 private:
  HANDLE event_;  // borrowed from the controller
};

}  // namespace

namespace install_hooks {

EntryReadFn SetEntryReadHookForTesting(EntryReadFn fn) { return g_entry_read_hook.exchange(fn); }
void SetWorkerStartFailsForTesting(bool fail) { g_worker_start_fails.store(fail); }

}  // namespace install_hooks

void XGameSetup::StartInstall(HWND owner, const char* folder) {
  window = owner;
  stopRequest.store(false);
  gbk::CopyToBuffer(installFolder, sizeof installFolder, folder ? folder : "");

  if (extentConfig && extentConfig->IsEnable()) {
    std::string dir = extentConfig->GetSetupDir();
    if (!dir.empty()) gbk::CopyToBuffer(installFolder, sizeof installFolder, dir);
  }
  // Every path below is formed by appending a name directly to the folder. A
  // last character such as 乗 ends in the byte 0x5C but is no separator.
  size_t len = std::strlen(installFolder);
  if (len > 0 && len < sizeof installFolder - 1 && !PathEndsWithSeparator(installFolder)) {
    installFolder[len] = '\\';
    installFolder[len + 1] = '\0';
  }

  CCommon::MakeDirPath(installFolder);
  if (!IsFolder(installFolder)) {
    // Owned by the window: a box of its own could fall behind the installing
    // page, which would then seem stuck at 0% with its close button disabled.
    seams::ShowMessageBox(window,
                          "安装目录系统权限过高, 安装过程中无法创建目录, 请选择其他盘符或修改权限!",
                          "安装提示", MB_ICONERROR);
    ::PostMessageA(window, WM_COMMAND, IDC_BTN_CUSTOM, 0);
    return;
  }

  EnsureMachineId();
  std::string machine_id = GetMachineId(installFolder);
  std::string url = servers::StatisticsUrl(false, agencyIds.AgencyID, machine_id);
  FetchUrlText(&httpSession, url.c_str());  // fire and forget

  workerThread.reset(g_worker_start_fails.load()
                         ? nullptr
                         : ::CreateThread(nullptr, 0, &XGameSetup::InstallThread, this, 0, nullptr));
  if (!workerThread) {
    // Nothing would ever report to the window: say so and go back to the
    // custom page, from which the user can try again or close.
    gbk::CopyToBuffer(errorText, sizeof errorText, kWorkerStartFailed);
    seams::ShowMessageBox(window, kWorkerStartFailed, "错误", MB_OK | MB_ICONERROR);
    ::PostMessageA(window, WM_COMMAND, IDC_BTN_CUSTOM, 0);
  }
}

DWORD WINAPI XGameSetup::InstallThread(void* controller) {
  static_cast<XGameSetup*>(controller)->RunInstall();
  return 0;
}

namespace {

// A keyed installer reads the list only as its signed manifest vouches for
// it. False (reported) when the manifest refuses it or cannot be had.
bool CheckListIsSigned(XGameSetup* setup, const std::string& list_url,
                       const std::string& list_path, SignedManifest* manifest) {
  std::string manifest_url;
  std::string failure =
      signed_download::FetchReleaseManifest(setup, list_url, list_path, manifest, &manifest_url);
  if (failure.empty()) {
    failure = RefusedReleaseText(*manifest, list_url, manifest_url, setup->setupInfo.gameName);
    if (!failure.empty()) signed_download::DiscardDownload(list_url, list_path, "");
  }
  if (failure.empty()) return true;
  if (setup->StopRequested())
    PostState(setup->window, SETUP_STATE_ERROR);  // the user's own stop: no message
  else
    ReportError(setup, failure);
  return false;
}

// The package, held to its signed record when there is one. False when the
// download failed (it has reported itself).
bool DownloadPackage(XGameSetup* setup, const UpdateEntry& entry, const ManifestFile* package) {
  PostState(setup->window, SETUP_STATE_DOWNLOADING);
  std::string package_path;
  setup->expectedFile = package;
  const int result = DownloadFile(entry.destfile.c_str(), &package_path, setup,
                                  entry.srcfile.c_str(), false, true, true, true);
  setup->expectedFile = nullptr;
  if (result == 0) return true;
  PostState(setup->window, SETUP_STATE_ERROR);
  return false;
}

// A package already in the folder is installed by a keyed installer only as
// the manifest describes the one at "srcfile". False (reported) otherwise.
bool CheckLocalPackage(XGameSetup* setup, const UpdateEntry& entry, const ManifestFile* package) {
  const std::string local = JoinPath(setup->installFolder, entry.destfile);
  if (package && signed_download::FileMatchesRecord(local, *package)) return true;
  signed_download::DiscardDownload(entry.srcfile, local, setup->agencyIds.StandaloneAgencyID);
  const std::string& named = entry.srcfile.empty() ? local : entry.srcfile;
  ReportError(setup, signed_download::VerificationFailedText(named));
  return false;
}

// An installed client, or the record of a finished release, in the folder.
bool HoldsAnInstallation(const XGameSetup& setup) {
  for (const char* name : {static_cast<const char*>(setup.setupInfo.mainExeName), release_record::kRecordName}) {
    if (name[0] == '\0') continue;
    if (IsFile(JoinPath(setup.installFolder, name))) return true;
  }
  return false;
}

// Only a file whose blocks are checked as they arrive can be extracted while
// it downloads: the package of a keyed installer whose record has block
// digests. Any other keeps download, then extraction. So does an update over
// an installed client: a stop or a failed download during the long transfer
// must leave that client as it was, not half replaced.
bool ExtractsWhileDownloading(const XGameSetup& setup, const UpdateEntry& entry,
                              const ManifestFile* package) {
  return package && package->blockSize != 0 && (entry.action & UPDATE_ACTION_COMMAND) &&
         entry.cmd == "DEC" && !HoldsAnInstallation(setup);
}

// The running client is closed and the agency program fetched first, as no
// file may be written while the client runs. The download then shows as
// ever; what is left of the extraction when it ends shows as installing.
void InstallWhileDownloading(XGameSetup* setup, const UpdateEntry& entry,
                             const ManifestFile& package, const SignedManifest& manifest) {
  DecPreparation prep;
  if (!PrepareDecCommand(setup, entry, &manifest, &prep)) return;
  PostState(setup->window, SETUP_STATE_DOWNLOADING);
  VerifiedArrival arrival;
  ArrivingExtraction extraction(setup->window, entry.destfile, setup->installFolder, package.size,
                                arrival, [setup] { return setup->StopRequested(); });
  std::string package_path;
  setup->expectedFile = &package;
  setup->arrival = &arrival;
  const int result = DownloadFile(entry.destfile.c_str(), &package_path, setup,
                                  entry.srcfile.c_str(), false, false, true, true);
  setup->expectedFile = nullptr;
  setup->arrival = nullptr;
  std::string error;
  std::vector<std::string> installed;
  if (result != 0) {
    arrival.Abandon();
    // The extraction's own failure (no room, a file it cannot write) ended
    // the download early: it is reported as the extraction reports it.
    if (!arrival.GivenUp()) return ReportDownloadFailure(setup);
    extraction.Finish(&error, &installed);
    return CompleteDecCommand(setup, entry, &manifest, prep, true, error, installed);
  }
  arrival.Complete(package.size);
  PostState(setup->window, SETUP_STATE_INSTALLING);
  PostProgress(setup->window, 0);
  const bool failed = extraction.Finish(&error, &installed);
  CompleteDecCommand(setup, entry, &manifest, prep, failed, error, installed);
}

}  // namespace

void XGameSetup::RunInstall() {
  ::SetCurrentDirectoryA(installFolder);
  PostState(window, SETUP_STATE_READING_CONFIG);
  ::ResetEvent(workerFinished.get());
  FinishedSignal finished(workerFinished.get());

  std::string list_url = FindUpdateListUrl(setupInfo.descriptionPath);
  if (list_url.empty()) return ReportError(this, "从文件中,获取版本对应的更新URL错误.");
  PostState(window, SETUP_STATE_READING_CONFIG);

  std::string list_path;
  if (DownloadFile(nullptr, &list_path, this, list_url.c_str(), false, true, true, false) != 0)
    return;  // the download has shown its message and posted state 0

  const bool keyed = signed_download::IsKeyed();
  SignedManifest manifest;
  if (keyed && !CheckListIsSigned(this, list_url, list_path, &manifest)) return;

  UpdateEntry entry = ReadUpdateEntry(list_path);
  if (entry.action == 0) return PostState(window, SETUP_STATE_INSTALLING);
  if (install_hooks::EntryReadFn hook = g_entry_read_hook.load()) hook(this);
  if (StopRequested()) return;

  std::string invalid = ValidateUpdateEntry(entry);
  if (!invalid.empty()) return ReportError(this, invalid);

  // The package the manifest vouches for (keyed installer only).
  const ManifestFile* package = keyed ? ManifestRecordForUrl(manifest, entry.srcfile) : nullptr;
  if (entry.action & UPDATE_ACTION_DOWNLOAD) {
    if (keyed && !package)
      return ReportError(this, signed_download::VerificationFailedText(entry.srcfile));
    if (ExtractsWhileDownloading(*this, entry, package))
      return InstallWhileDownloading(this, entry, *package, manifest);
    if (!DownloadPackage(this, entry, package)) return;
  }

  PostState(window, SETUP_STATE_INSTALLING);
  if (!(entry.action & UPDATE_ACTION_COMMAND)) return;
  PostProgress(window, 0);
  if (entry.cmd != "DEC") return ReportError(this, "未知的命令参数");
  if (keyed && !(entry.action & UPDATE_ACTION_DOWNLOAD) && !CheckLocalPackage(this, entry, package))
    return;
  RunDecCommand(this, entry, keyed ? &manifest : nullptr);
}
