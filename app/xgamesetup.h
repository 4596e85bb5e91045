// XGameSetup: the install controller. One instance lives inside the main
// window object for the whole run. This header is its record (what every part
// of the installation reads or writes) and the list of its operations; the
// operations are defined beside the subsystem they belong to:
//   app/      construction, StartInstall, RunInstall, update-list actions, completion
// The configuration steps (LoadSetupDescription, ParseAgencyIds, LoadAgencyInfo,
// WriteAgencyIni, EnsureMachineId) hand the record's parts to config/.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "config/setup_description.h"
#include "core/buffer_limits.h"
#include "net/download_context.h"
#include "net/http_session.h"
#include "system/setup_messages.h"
#include "system/scoped_handle.h"

class XExtentConfig;

class XGameSetup : public DownloadContext {
 public:
  // Opens the statistics session, creates the worker-finished event and reads
  // the side configuration (which may clear the installer's folder).
  XGameSetup();
  // The owner raises the stop request first; the worker is not waited for here.
  ~XGameSetup();
  XGameSetup(const XGameSetup&) = delete;
  XGameSetup& operator=(const XGameSetup&) = delete;

  // Setup description and agency text (window thread, before the window shows).
  // 0 = ready, 1 = file name without identifiers or agency not enabled,
  // 2 = a text could not be fetched or "size" is missing/negative.
  int LoadSetupDescription(HWND window);
  bool ParseAgencyIds();
  int LoadAgencyInfo(HWND window);
  void WriteAgencyIni();
  // Makes sure a machine identifier exists; true when one already did.
  bool EnsureMachineId();

  // Window thread: creates the folder, sends the start statistics request and
  // starts the worker.
  void StartInstall(HWND window, const char* folder);
  static DWORD WINAPI InstallThread(void* controller);
  void RunInstall();

  // Window thread, on state 7.
  void CompleteInstall();
  void FinishAndLaunch(const char* mainProgram);

  // --- record ---
  // window, installFolder, errorText, stopRequest, agencyIds: DownloadContext
  ScopedKernelHandle workerThread;
  ScopedKernelHandle workerFinished;     // auto-reset, initially not signalled
  SetupInfo setupInfo;
  HttpSession httpSession;
  char mainProgramPath[kPathBytes] = {};
  char uninstallerPath[kPathBytes] = {};
  std::unique_ptr<XExtentConfig> extentConfig;  // null when the side file is absent or off
  std::string deletePath;                       // "-delpath " value
};
