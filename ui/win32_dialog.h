// Win32Dialog: the installer's only window, a borderless skinned popup with
// three pages (main, custom folder, installing). It owns the install
// controller, its nine skin buttons and its pictures; it chooses and checks
// the install folder, starts the installation and turns the controller's
// posted reports into the display. Everything runs on the UI thread.
#pragma once

#include <windows.h>

#include <string>

#include "app/xgamesetup.h"
#include "system/scoped_handle.h"
#include "ui/image.h"
#include "ui/skin_button.h"

enum DialogPage : int { PAGE_MAIN = 0, PAGE_CUSTOM = 1, PAGE_INSTALLING = 2 };

// Control ids.
enum : int {
  IDC_BTN_CANCEL = 1000,
  IDC_BTN_CLOSE = 1001,
  IDC_BTN_MINIMIZE = 1003,
  IDC_BTN_INSTALL = 1004,
  IDC_BTN_AGREEMENT = 1005,
  IDC_BTN_CUSTOM = 1006,
  IDC_CHK_AGREE = 1007,
  IDC_BTN_BROWSE = 1008,
  IDC_BTN_DEFAULT_DIR = 1009,
  IDC_BTN_BACK = 1010,
  IDC_EDIT_PATH = 1011,
};

// TIMER_WORKER_END watches, on the installing page, for the worker to end.
enum : UINT { TIMER_SLIDESHOW = 1001, TIMER_AUTOSTART = 1002, TIMER_WORKER_END = 1003 };

class Win32Dialog {
 public:
  explicit Win32Dialog(HINSTANCE instance);
  // Raises the stop request and waits a bounded time for a running worker;
  // when it is still running the process ends here rather than free the
  // controller under it.
  virtual ~Win32Dialog();
  Win32Dialog(const Win32Dialog&) = delete;
  Win32Dialog& operator=(const Win32Dialog&) = delete;

  // Registers the class, creates the popup, runs OnInit and shows the window.
  virtual bool Create(const char* class_name, const char* caption, DWORD style, const RECT& rect,
                      HWND parent);
  virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
  virtual void OnTimer(UINT id);
  virtual void OnPaint(HDC dc);
  virtual bool OnInit();

  HWND hwnd() const { return window_; }
  XGameSetup& controller() { return controller_; }
  int page() const { return page_; }
  int state() const { return state_; }
  int percent() const { return percent_; }
  int speed() const { return speed_; }
  int freeKb() const { return freeKb_; }
  int slideIndex() const { return slideIndex_; }
  bool folderInvalid() const { return folderInvalid_; }
  bool directInstall() const { return directInstall_; }
  const char* currentFolder() const { return currentFolder_; }
  const char* defaultFolder() const { return defaultFolder_; }
  const std::string& statusText() const { return statusText_; }
  HWND control(int id) const { return ::GetDlgItem(window_, id); }
  // As "-path " FOLDER on the command line would set them.
  void SetDirectInstallForTesting(const char* folder);

 private:
  void CreateControls();
  HWND CreateSkinButton(CWINButton* button, int id, int x, int y, int w, int h, int image,
                        bool hand);
  void ShowPage();
  void OnCommand(int id, int notification);
  void OnInstall();
  void OnAgreement();
  void OnCheckBox();
  void OnBrowse();
  void OnTypedFolder();
  void SetPathText(const char* text);
  void RememberFolder(const char* folder);
  void ComputeDefaultFolder();
  void LoadPictures();
  void SizeAndCentre();
  void OnDestroy();
  // True when no worker is running any more after waiting at most `ms`.
  bool WaitForWorker(DWORD ms);
  // True once StartInstall has started a worker and that worker has ended.
  bool WorkerEnded() const;
  void DrawMainPage(HDC dc);
  void DrawCustomPage(HDC dc);
  void DrawInstallingPage(HDC dc);
  // Drive check of a folder: free KB, or false when the drive cannot be asked.
  static bool DriveFreeKb(const std::string& path, int* free_kb);

  HWND window_ = nullptr;     // owned by the system; destroyed with the process or by the user
  HWND checkBox_ = nullptr;   // child windows: owned by window_
  HWND pathEdit_ = nullptr;
  HINSTANCE instance_;
  CWINButton cancelButton_, closeButton_, minimizeButton_, installButton_, agreementButton_,
      customButton_, defaultDirButton_, browseButton_, backButton_;
  CImage background_;
  CImage mainPicture_;
  CImage slides_[5];
  int page_ = PAGE_MAIN;
  char agreementText_[13];
  CImage barBackground_;
  CImage barFill_;
  int slideIndex_ = 0;
  int state_ = SETUP_STATE_READING_CONFIG;
  int requiredKb_ = 0;
  int freeKb_ = 0;
  int percent_ = 0;
  int speed_ = 0;
  XGameSetup controller_;
  bool folderInvalid_ = false;
  bool directInstall_ = false;
  bool directInstallTried_ = false;  // the "-path " start has been made
  bool settingPathText_ = false;  // our own SetWindowText must not count as typing
  std::string statusText_;
  RECT statusRect_ = {19, 300, 319, 315};
  RECT percentRect_ = {380, 300, 516, 315};
  RECT speedRect_ = {19, 348, 219, 363};
  char defaultFolder_[260] = {};
  char currentFolder_[260] = {};
  ScopedFont editFont_;  // selected into the path edit for its whole life
};
