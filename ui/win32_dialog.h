// Win32Dialog: the installer's only window, a borderless skinned popup whose
// pages are main, custom folder and installing. It owns the install
// controller, its skin buttons and its pictures; it chooses and checks the
// install folder, starts the installation and turns the controller's posted
// reports into the display. Everything runs on the UI thread.
// Its pages, controls and places are tables in ui/window_layout.h; the code
// is in win32_dialog.cpp (start-up, install folder, the wait for the worker),
// win32_dialog_pages.cpp (controls, page switch), win32_dialog_messages.cpp
// (messages, commands, timers) and win32_dialog_paint.cpp (drawing).
#pragma once

#include <windows.h>

#include <string>

#include "app/xgamesetup.h"
#include "core/buffer_limits.h"
#include "system/scoped_handle.h"
#include "ui/image.h"
#include "ui/skin_button.h"
#include "ui/window_layout.h"

// True when no worker runs any more: `thread` is null or has ended, or it
// ends or signals `finished` within `ms`. False when it still runs. Both
// handles are borrowed.
bool WaitForWorkerToEnd(HANDLE thread, HANDLE finished, DWORD ms);

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
  DialogPage page() const { return page_; }
  int state() const { return state_; }
  int percent() const { return percent_; }
  int speed() const { return speed_; }
  int free_kb() const { return free_kb_; }
  int slide_index() const { return slide_index_; }
  bool folder_invalid() const { return folder_invalid_; }
  const char* current_folder() const { return current_folder_; }
  const char* default_folder() const { return default_folder_; }
  const std::string& status_text() const { return status_text_; }
  HWND control(int id) const { return ::GetDlgItem(window_, id); }
  // As "-path " FOLDER on the command line would set them.
  void SetDirectInstallForTesting(const char* folder);

 private:
  // The pages' drawing (win32_dialog_paint.cpp).
  struct Painter;

  // How long the end of the window waits for a running worker.
  static constexpr DWORD kWorkerWaitMs = 30000;

  // win32_dialog.cpp: start-up and the install folder.
  void SetUpPathEdit();
  void ChooseInitialFolder(const std::string& command_line_folder);
  // Shows current_folder_ in the path edit and remembers it for the next start.
  void ShowFolder();
  void ComputeDefaultFolder();
  void LoadPictures();
  void SizeAndCentre();
  // True when no worker is running any more after waiting at most `ms`.
  bool WaitForWorker(DWORD ms);
  // True once StartInstall has started a worker and that worker has ended.
  bool WorkerEnded() const;
  // Drive check of a folder: free KB, or false when the drive cannot be asked.
  static bool DriveFreeKb(const std::string& path, int* free_kb);

  // win32_dialog_pages.cpp: the controls and the page switch.
  void CreateControls();
  HWND CreateControl(const ControlRow& row);
  void ShowPage();

  // win32_dialog_messages.cpp: commands, timers and the end.
  void OnCommand(int id, int notification);
  void OnInstall();
  void OnAgreement();
  void OnCheckBox();
  void OnBrowse();
  void OnTypedFolder();
  // The game's folder below `chosen` (browsed to or typed, on a drive with
  // `free_kb` free) becomes the current folder.
  void TakeFolder(const std::string& chosen, int free_kb);
  void OnPathEdit(int notification);
  void OnDestroy();

  HWND window_ = nullptr;      // owned by the system; destroyed with the process or by the user
  HWND check_box_ = nullptr;   // child windows: owned by window_
  HWND path_edit_ = nullptr;
  HINSTANCE instance_;
  CWINButton buttons_[kSkinButtonCount];  // in kControls' order
  CImage background_;
  CImage page_pictures_[kPageCount];  // kPages' pictures
  CImage slides_[kSlideCount];
  DialogPage page_ = DialogPage::PAGE_MAIN;
  char agreement_text_[13];
  CImage bar_background_;
  CImage bar_fill_;
  int slide_index_ = 0;
  int state_ = SETUP_STATE_READING_CONFIG;
  int required_kb_ = 0;
  int free_kb_ = 0;
  int percent_ = 0;
  int speed_ = 0;
  XGameSetup controller_;
  bool folder_invalid_ = false;
  bool direct_install_ = false;
  bool direct_install_tried_ = false;  // the "-path " start has been made
  bool setting_path_text_ = false;     // our own SetWindowText must not count as typing
  std::string status_text_;
  char default_folder_[kPathBytes] = {};
  char current_folder_[kPathBytes] = {};
  ScopedFont edit_font_;  // selected into the path edit for its whole life
};
