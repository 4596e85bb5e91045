// Win32Dialog: construction, the window's creation and start-up, the install
// folder (default, remembered, shown) and the pictures.
#include "ui/win32_dialog.h"

#include <shlwapi.h>

#include "config/extent_config.h"
#include "core/command_line.h"
#include "core/gbk_text.h"
#include "core/window_rules.h"
#include "net/resume_cache.h"
#include "net/servers.h"
#include "system/ccommon.h"
#include "system/profile_file.h"
#include "system/seams.h"
#include "system/trace.h"
#include "ui/window_map.h"
#include "ui/dialog_fonts.h"

Win32Dialog::Win32Dialog(HINSTANCE instance) : instance_(instance), status_text_(SetupStateText(2)) {
  gbk::CopyToBuffer(agreement_text_, sizeof(agreement_text_), "已阅读并同意");
}

Win32Dialog::~Win32Dialog() {
  controller_.RequestStop();
  if (!WaitForWorker(kWorkerWaitMs)) {
    // The worker still uses the controller; freeing it now would pull the
    // record from under a running thread. End the process instead.
    ::ExitProcess(0);
  }
  if (window_) WindowMap().erase(window_);
}

void Win32Dialog::SetDirectInstallForTesting(const char* folder) {
  direct_install_ = true;
  gbk::CopyToBuffer(current_folder_, sizeof(current_folder_), folder);
}

bool WaitForWorkerToEnd(HANDLE thread, HANDLE finished, DWORD ms) {
  if (!thread || ::WaitForSingleObject(thread, 0) != WAIT_TIMEOUT) return true;
  HANDLE waits[2] = {thread, finished};
  const DWORD r = ::WaitForMultipleObjects(finished ? 2 : 1, waits, FALSE, ms);
  if (r == WAIT_OBJECT_0) return true;
  if (r == WAIT_OBJECT_0 + 1) {
    // The finished event is the worker's last word about the controller;
    // give the thread a moment to leave its procedure.
    ::WaitForSingleObject(thread, 1000);
    return true;
  }
  return false;
}

bool Win32Dialog::WaitForWorker(DWORD ms) {
  return WaitForWorkerToEnd(controller_.workerThread.get(), controller_.workerFinished.get(), ms);
}

bool Win32Dialog::WorkerEnded() const {
  HANDLE thread = controller_.workerThread.get();
  return thread && ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

bool Win32Dialog::Create(const char* class_name, const char* caption, DWORD style, const RECT& rect,
                         HWND parent) {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = &StaticWindowProc;
  wc.hInstance = instance_;
  wc.hIcon = ::LoadIconA(instance_, MAKEINTRESOURCEA(IDI_SETUP));
  wc.hIconSm = ::LoadIconA(instance_, MAKEINTRESOURCEA(IDI_SETUP_SMALL));
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.lpszClassName = class_name;
  ::RegisterClassExA(&wc);  // a second registration of the same class is harmless

  window_ = ::CreateWindowExA(0, class_name, caption, style, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                              instance_, nullptr);
  if (!window_) return false;
  WindowMap()[window_] = this;
  if (!OnInit()) return false;
  ::ShowWindow(window_, SW_SHOWNORMAL);
  ::UpdateWindow(window_);
  return true;
}

bool Win32Dialog::OnInit() {
  CreateControls();
  SetUpPathEdit();

  const CommandLineOptions options = ParseCommandLine(::GetCommandLineA());
  direct_install_ = options.directInstall;
  controller_.deletePath = options.deletePath;

  const int loaded = controller_.LoadSetupDescription(window_);
  if (loaded != 0) {
    seams::ShowMessageBox(window_,
                          loaded == 1 ? "安装文件名不能更改，否则无法完成安装！" : "无法连接网络",
                          "退出", MB_OK);
    ::PostQuitMessage(0);
    return false;
  }

  const std::string game = controller_.setupInfo.gameName;
  ::SendMessageA(path_edit_, EM_LIMITTEXT, PathEditLimit(game), 0);

  ComputeDefaultFolder();
  ChooseInitialFolder(options.installFolder);

  LoadPictures();
  SizeAndCentre();
  slide_index_ = 0;

  int free_kb = 0;
  free_kb_ = DriveFreeKb(default_folder_, &free_kb) ? free_kb : 0;

  page_ = DialogPage::PAGE_MAIN;
  required_kb_ = controller_.setupInfo.requiredSpaceKb;
  ShowPage();

  XExtentConfig* extent = controller_.extentConfig.get();
  if (extent && extent->IsEnable() && extent->IsAutoRun()) {
    ::SetTimer(window_, TIMER_AUTOSTART, 1000, nullptr);
    TraceLine("kvx-out: auto start");
  }
  return true;
}

// The path edit's font, and its text centred vertically.
void Win32Dialog::SetUpPathEdit() {
  edit_font_.reset(MakeTextFont());
  ::SendMessageA(path_edit_, WM_SETFONT, reinterpret_cast<WPARAM>(edit_font_.get()), FALSE);
  HDC dc = ::GetDC(path_edit_);
  if (!dc) return;
  HGDIOBJ old = ::SelectObject(dc, edit_font_.get());
  TEXTMETRICA tm = {};
  ::GetTextMetricsA(dc, &tm);
  ::SelectObject(dc, old);
  ::ReleaseDC(path_edit_, dc);
  RECT rc;
  ::GetClientRect(path_edit_, &rc);
  rc.top += (rc.bottom - tm.tmHeight - tm.tmExternalLeading) / 2;
  ::SendMessageA(path_edit_, EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&rc));
}

// "-path "'s folder, else the remembered one when it still exists, else the
// default; shown in the edit and remembered.
void Win32Dialog::ChooseInitialFolder(const std::string& command_line_folder) {
  std::string initial;
  if (direct_install_) {
    initial = command_line_folder;
  } else {
    const std::string remembered =
        ReadDefaultSetupDir(servers::SetupDescriptionUrl(), controller_.agencyIds.StandaloneAgencyID);
    initial = (!remembered.empty() && ::PathFileExistsA(remembered.c_str())) ? remembered
                                                                           : default_folder_;
  }
  gbk::CopyToBuffer(current_folder_, sizeof(current_folder_), initial);
  ShowFolder();
}

void Win32Dialog::ComputeDefaultFolder() {
  char system_dir[MAX_PATH] = {};
  ::GetSystemDirectoryA(system_dir, sizeof(system_dir));
  const std::string root = DefaultFolderRoot(system_dir, [](const std::string& volume) {
    return IsVolumeOnIdeDisk(volume);
  });
  const std::string folder = DefaultInstallFolder(
      root, controller_.setupInfo.gameName, CCommon::IsAdminUser(), [](const std::string& probe) {
        if (::PathFileExistsA(probe.c_str())) return true;
        CCommon::MakeDirPath(probe.c_str());
        if (!::PathFileExistsA(probe.c_str())) return false;
        // The probe leaves nothing behind.
        CCommon::DeleteDirectoryTree(probe.c_str());
        return true;
      });
  gbk::CopyToBuffer(default_folder_, sizeof(default_folder_), folder);
}

void Win32Dialog::LoadPictures() {
  background_.LoadFromResource(instance_, IDB_BACKGROUND);
  for (const PageRow& row : kPages)
    if (row.picture) page_pictures_[static_cast<int>(row.page)].LoadFromResource(instance_, row.picture);
  for (int i = 0; i < kSlideCount; ++i) slides_[i].LoadFromResource(instance_, kSlidePictures[i]);
  bar_background_.LoadFromResource(instance_, IDB_BAR_TRACK);
  bar_fill_.LoadFromResource(instance_, IDB_BAR_FILL);
}

void Win32Dialog::SizeAndCentre() {
  const int screen_w = ::GetSystemMetrics(SM_CXSCREEN);
  const int screen_h = ::GetSystemMetrics(SM_CYSCREEN);
  if (!background_.IsNull()) {
    const int w = background_.GetWidth(), h = background_.GetHeight();
    ::SetWindowPos(window_, nullptr, CentredCoordinate(screen_w, w), CentredCoordinate(screen_h, h),
                   w, h, SWP_NOZORDER);
  } else {
    RECT rc;
    ::GetClientRect(window_, &rc);
    ::SetWindowPos(window_, nullptr, CentredCoordinate(screen_w, rc.right),
                   CentredCoordinate(screen_h, rc.bottom), 0, 0, SWP_NOZORDER | SWP_NOSIZE);
  }
}

bool Win32Dialog::DriveFreeKb(const std::string& path, int* free_kb) {
  if (!HasDriveLetter(path)) return false;
  const std::string drive = path.substr(0, 2);
  ULARGE_INTEGER available = {};
  if (!::GetDiskFreeSpaceExA(drive.c_str(), &available, nullptr, nullptr)) return false;
  *free_kb = FreeKbFromBytes(available.QuadPart);
  return true;
}

void Win32Dialog::ShowFolder() {
  setting_path_text_ = true;
  ::SetWindowTextA(path_edit_, current_folder_);
  setting_path_text_ = false;
  WriteDefaultSetupDir(servers::SetupDescriptionUrl(), controller_.agencyIds.StandaloneAgencyID,
                       current_folder_);
}
