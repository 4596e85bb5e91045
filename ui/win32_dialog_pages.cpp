// Win32Dialog: creating the controls of kControls and switching pages by
// their pages bits (ui/window_layout.h).
#include "ui/win32_dialog.h"

HWND Win32Dialog::CreateControl(const ControlRow& row) {
  const bool edit = row.kind == ControlKind::kPathEdit;
  const DWORD style = edit ? ES_MULTILINE | ES_AUTOHSCROLL
                           : row.kind == ControlKind::kCheckBox ? BS_AUTOCHECKBOX : BS_PUSHBUTTON;
  return ::CreateWindowExA(0, edit ? "EDIT" : "BUTTON", "", WS_CHILD | WS_VISIBLE | style, row.x,
                           row.y, row.width, row.height, window_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance_, nullptr);
}

void Win32Dialog::CreateControls() {
  CWINButton* button = buttons_;
  for (const ControlRow& row : kControls) {
    HWND child = CreateControl(row);
    switch (row.kind) {
      case ControlKind::kSkinButton:
        if (child) {
          button->Attach(child);
          button->LoadImage(instance_, row.picture);
          button->hand_cursor = row.hand_cursor;
        }
        ++button;
        break;
      case ControlKind::kCheckBox:
        check_box_ = child;
        ::SendMessageA(check_box_, BM_SETCHECK, BST_CHECKED, 0);
        break;
      case ControlKind::kPathEdit:
        path_edit_ = child;
        break;
    }
  }
}

void Win32Dialog::ShowPage() {
  // The page switched to now; a direct start below switches again.
  const DialogPage page = page_;
  for (const ControlRow& row : kControls)
    if (row.pages != kEveryPage) ::ShowWindow(control(row.id), SW_HIDE);
  ::KillTimer(window_, TIMER_SLIDESHOW);
  ::KillTimer(window_, TIMER_WORKER_END);
  ::EnableWindow(control(IDC_BTN_CLOSE), TRUE);

  // "-path " starts the installation once. A folder refused then sends the
  // window to the custom page; back from there, the main page is the
  // ordinary one instead of starting the refused folder again.
  const bool direct_start =
      page == DialogPage::PAGE_MAIN && direct_install_ && !direct_install_tried_;
  for (const ControlRow& row : kControls) {
    if (row.pages == kEveryPage || !ShowsOn(row, page)) continue;
    if (direct_start && row.hidden_on_direct_start) continue;
    ::ShowWindow(control(row.id), SW_SHOW);
  }
  if (direct_start) {
    direct_install_tried_ = true;
    ::SendMessageA(window_, WM_COMMAND, IDC_BTN_INSTALL, 0);
  }
  if (page == DialogPage::PAGE_INSTALLING) {
    slide_index_ = 0;
    ::EnableWindow(control(IDC_BTN_CLOSE), FALSE);
    ::SetTimer(window_, TIMER_SLIDESHOW, 5000, nullptr);
    ::SetTimer(window_, TIMER_WORKER_END, 250, nullptr);
  }
  ::InvalidateRect(window_, nullptr, TRUE);
}
