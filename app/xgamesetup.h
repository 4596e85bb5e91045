// XGameSetup: the install controller. One instance lives inside the main
// window object for the whole run. This header is its record (what every part
// of the installation reads or writes) and the list of its operations; the
// operations are defined beside the subsystem they belong to:
//   app/      construction, StartInstall, RunInstall, update-list actions, completion
//   config/   LoadSetupDescription, ParseAgencyIds, LoadAgencyInfo, WriteAgencyIni, EnsureMachineId
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/setup_messages.h"
#include "net/http_session.h"
#include "system/scoped_handle.h"

class XExtentConfig;

// Product settings from the setup description's [setup] section; texts are cut
// to 259 bytes. The agency step replaces gameName, productTitle, agreementUrl
// and contact.
struct SetupInfo {
  char gameName[260] = {};
  char productTitle[260] = {};
  int requiredSpaceKb = 0;  // "size" is in MB, stored x 1024
  char agreementUrl[260] = {};
  char uninstallerName[260] = {};
  char publisher[260] = {};
  char contact[260] = {};
  char mainExeName[260] = {};
  std::string descriptionPath;  // local copy of the setup description, kept for the run
};

// Identifiers parsed from the installer's own file name (upper-cased).
struct AgencyIds {
  std::string FromID;
  std::string AgencyID;
  std::string StandaloneAgencyID;
  std::string PageID;
  std::string PCID;
};

class XGameSetup {
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
  void RequestStop() { stopRequest.store(true); }
  bool StopRequested() const { return stopRequest.load(); }

  // Window thread, on state 7.
  void CompleteInstall();
  void FinishAndLaunch(const char* mainProgram);

  // --- record ---
  HWND window = nullptr;
  ScopedKernelHandle workerThread;
  char installFolder[260] = {};
  char errorText[261] = {};
  std::atomic<bool> stopRequest{false};  // one byte, written by the window, read by the worker
  ScopedKernelHandle workerFinished;     // auto-reset, initially not signalled
  SetupInfo setupInfo;
  HttpSession httpSession;
  char mainProgramPath[260] = {};
  char uninstallerPath[260] = {};
  AgencyIds agencyIds;
  std::unique_ptr<XExtentConfig> extentConfig;  // null when the side file is absent or off
  std::string deletePath;                       // "-delpath " value
};
