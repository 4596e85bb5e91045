// Win32Dialog: the window's messages, the commands of its controls (and of
// the controller), the folder the user types or browses to, and the timers.
#include "ui/win32_dialog.h"
#include "core/buffer_limits.h"

#include <shellapi.h>

#include "core/gbk_text.h"
#include "core/window_rules.h"
#include "system/seams.h"
#include "system/trace.h"

LRESULT Win32Dialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(window_, &ps);
      if (dc) OnPaint(dc);
      ::EndPaint(window_, &ps);
      return 0;
    }
    case WM_NCHITTEST: {
      POINT pt = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      ::ScreenToClient(window_, &pt);
      return InDragStrip(pt.y) ? HTCAPTION : 0;
    }
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_TIMER:
      OnTimer(LOWORD(wp));
      return 0;
    case WM_SETUP_PROGRESS:
      percent_ = static_cast<int>(lp);
      ::InvalidateRect(window_, &kProgressArea, TRUE);
      return 0;
    case WM_SETUP_STATE:
      state_ = static_cast<int>(lp);
      status_text_ = SetupStateText(state_);
      // The percent and speed lines depend on the state as well.
      for (const RECT* r : {&kStatusRect, &kPercentRect, &kSpeedRect})
        ::InvalidateRect(window_, r, TRUE);
      if (state_ == SETUP_STATE_DONE) controller_.CompleteInstall();
      if (state_ == SETUP_STATE_ERROR) ::PostQuitMessage(0);
      return 0;
    case WM_SETUP_SPEED:
      speed_ = static_cast<int>(lp);
      ::InvalidateRect(window_, &kSpeedRect, TRUE);
      return 0;
    default:
      return ::DefWindowProcA(window_, msg, wp, lp);
  }
}

void Win32Dialog::OnDestroy() {
  if (page_ == DialogPage::PAGE_INSTALLING)
    controller_.RequestStop();
  else
    ::PostQuitMessage(0);
  if (!WaitForWorker(kWorkerWaitMs)) ::ExitProcess(0);
  ::PostQuitMessage(0);
}

void Win32Dialog::OnCommand(int id, int notification) {
  for (const PageCommand& row : kPageCommands) {
    if (row.command != id) continue;
    page_ = row.page;
    ShowPage();
    return;
  }
  switch (id) {
    case IDC_BTN_CANCEL:
      controller_.RequestStop();
      break;
    case IDC_BTN_CLOSE:
      if (page_ == DialogPage::PAGE_INSTALLING && !WorkerEnded())
        controller_.RequestStop();
      else
        ::PostQuitMessage(0);
      break;
    case IDC_BTN_MINIMIZE:
      ::ShowWindow(window_, SW_SHOWMINIMIZED);
      break;
    case IDC_BTN_INSTALL:
      OnInstall();
      break;
    case IDC_BTN_AGREEMENT:
      OnAgreement();
      break;
    case IDC_CHK_AGREE:
      OnCheckBox();
      break;
    case IDC_BTN_BROWSE:
      OnBrowse();
      break;
    case IDC_BTN_DEFAULT_DIR:
      gbk::CopyToBuffer(current_folder_, sizeof(current_folder_), default_folder_);
      ShowFolder();
      break;
    case IDC_EDIT_PATH:
      OnPathEdit(notification);
      break;
    default:
      break;
  }
}

void Win32Dialog::OnInstall() {
  if (folder_invalid_) {
    seams::ShowMessageBox(window_, "指定的路径无效", "确认", MB_OK);
    TraceLine("kvx-out: invalid dir");
    return;
  }
  page_ = DialogPage::PAGE_INSTALLING;
  ShowPage();
  controller_.StartInstall(window_, current_folder_);
}

void Win32Dialog::OnAgreement() {
  const char* url = controller_.setupInfo.agreementUrl;
  // Only web pages are opened: the address comes from a server text, and the
  // shell would just as well start a program named there.
  if (!IsWebAddress(url)) {
    TraceLine("kvx-out: agreement address refused");
    return;
  }
  ::ShellExecuteA(nullptr, nullptr, url, nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32Dialog::OnCheckBox() {
  const bool accepted = ::SendMessageA(check_box_, BM_GETCHECK, 0, 0) == BST_CHECKED;
  const int linked[] = {IDC_BTN_CUSTOM, IDC_BTN_INSTALL};
  for (int id : linked) {
    ::EnableWindow(control(id), accepted ? TRUE : FALSE);
    ::InvalidateRect(control(id), nullptr, TRUE);
  }
}

void Win32Dialog::OnPathEdit(int notification) {
  if (notification == EN_CHANGE && !setting_path_text_) {
    OnTypedFolder();
  } else if (notification == EN_KILLFOCUS) {
    ShowFolder();
  }
}

void Win32Dialog::OnBrowse() {
  const std::string title =
      gbk::FormatCut(kPathTextMax, "将%s安装到:", controller_.setupInfo.gameName);
  std::string chosen;
  if (!seams::BrowseForFolder(window_, title.c_str(), &chosen) || chosen.empty()) return;
  int free_kb = 0;
  if (!DriveFreeKb(chosen, &free_kb)) return;
  TakeFolder(chosen, free_kb);
  ShowFolder();
  ::InvalidateRect(window_, nullptr, TRUE);
}

void Win32Dialog::TakeFolder(const std::string& chosen, int free_kb) {
  free_kb_ = free_kb;
  folder_invalid_ = false;
  std::string folder;
  if (ComposeInstallFolder(chosen, controller_.setupInfo.gameName, &folder))
    gbk::CopyToBuffer(current_folder_, sizeof(current_folder_), folder);
}

void Win32Dialog::OnTypedFolder() {
  char text[512] = {};
  ::GetWindowTextA(path_edit_, text, sizeof(text));
  const std::string typed = text;
  if (typed.size() >= kPathBytes) {
    ShowFolder();
    return;
  }
  int free_kb = 0;
  // A folder with a line break (Enter in the multi-line edit) is no folder.
  if (typed.find_first_of("\r\n") != std::string::npos || !DriveFreeKb(typed, &free_kb)) {
    folder_invalid_ = true;
    return;
  }
  TakeFolder(typed, free_kb);
  ::InvalidateRect(window_, nullptr, TRUE);
}

void Win32Dialog::OnTimer(UINT id) {
  if (id == TIMER_SLIDESHOW) {
    slide_index_ = NextSlide(slide_index_, kSlideCount);
    const CImage& slide = slides_[slide_index_];
    RECT area = {0, 0, slide.GetWidth(), slide.GetHeight()};
    ::InvalidateRect(window_, &area, TRUE);
  } else if (id == TIMER_WORKER_END) {
    // WM_TIMER comes only when no posted message waits, so every report of
    // the ended worker has been handled by now. Ending on state 0 or 7 has
    // already asked to quit; any other last state (a list with nothing to
    // run) leaves nothing more to happen, so the user may close the window.
    if (page_ == DialogPage::PAGE_INSTALLING && WorkerEnded()) {
      ::KillTimer(window_, TIMER_WORKER_END);
      ::EnableWindow(control(IDC_BTN_CLOSE), TRUE);
    }
  } else if (id == TIMER_AUTOSTART) {
    ::KillTimer(window_, TIMER_AUTOSTART);
    if (page_ != DialogPage::PAGE_INSTALLING) OnCommand(IDC_BTN_INSTALL, 0);
  }
}
