#include "ui/win32_dialog.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "brand_colours.h"  // generated from the brand file (res/art.cmake)

#include "core/command_line.h"
#include "config/extent_config.h"
#include "core/gbk_text.h"
#include "system/profile_file.h"
#include "net/resume_cache.h"
#include "net/servers.h"
#include "system/ccommon.h"
#include "system/seams.h"
#include "system/trace.h"
#include "ui/window_map.h"
#include "core/window_rules.h"
#include "ui/worker_wait.h"

namespace {

constexpr DWORD kWorkerWaitMs = 30000;

enum : int {
  kPngBackground = 154,
  kPngMainPicture = 155,
  kPngClose = 156,
  kPngAgreement = 158,
  kPngBack = 159,
  kPngCancel = 160,
  kPngCustom = 161,
  kPngDefaultDir = 162,
  kPngMinimize = 163,
  kPngInstall = 164,
  kPngFirstSlide = 166,
  kPngBarBackground = 179,
  kPngBarFill = 180,
  kPngBrowse = 181,
};

// The window's own texts take the brand's colours like the artwork does.
constexpr COLORREF ColourOf(const BrandColour& c) { return RGB(c.r, c.g, c.b); }
const COLORREF kGold = ColourOf(kBrandGoldText);
const COLORREF kCustomText = ColourOf(kBrandCreamText);
const COLORREF kInstallingText = ColourOf(kBrandStatusText);

// Fonts are GB2312, proof quality, fixed pitch, modern family.
HFONT MakeFont(int height, int width, int weight, const char* face) {
  return ::CreateFontA(height, width, 0, 0, weight, FALSE, FALSE, FALSE, GB2312_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                       FIXED_PITCH | FF_MODERN, face);
}
HFONT MakeTextFont() { return MakeFont(14, 7, FW_NORMAL, "宋体"); }
HFONT MakeSmallFont() { return MakeFont(12, 6, FW_NORMAL, "宋体"); }
HFONT MakeTitleFont() { return MakeFont(18, 9, FW_BOLD, "方正粗圆简体"); }

void DrawTextIn(HDC dc, const std::string& text, RECT rect, UINT align) {
  if (text.empty()) return;
  ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              align | DT_SINGLELINE | DT_NOPREFIX);
}

// Selects a font for one drawing step and puts the previous one back.
class FontScope {
 public:
  FontScope(HDC dc, HFONT font) : dc_(dc), font_(font), old_(::SelectObject(dc, font)) {}
  ~FontScope() {
    ::SelectObject(dc_, old_);
    if (font_) ::DeleteObject(font_);
  }

 private:
  HDC dc_;
  HFONT font_;
  HGDIOBJ old_;
};

}  // namespace

Win32Dialog::Win32Dialog(HINSTANCE instance) : instance_(instance), statusText_(SetupStateText(2)) {
  gbk::CopyToBuffer(agreementText_, sizeof(agreementText_), "已阅读并同意");
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
  directInstall_ = true;
  gbk::CopyToBuffer(currentFolder_, sizeof(currentFolder_), folder);
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
  wc.hIcon = ::LoadIconA(instance_, MAKEINTRESOURCEA(107));
  wc.hIconSm = ::LoadIconA(instance_, MAKEINTRESOURCEA(108));
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

HWND Win32Dialog::CreateSkinButton(CWINButton* button, int id, int x, int y, int w, int h,
                                   int image, bool hand) {
  HWND child = ::CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, x, y, w, h,
                                 window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 instance_, nullptr);
  if (!child) return nullptr;
  button->Attach(child);
  button->LoadImage(instance_, image);
  button->handCursor = hand;
  return child;
}

void Win32Dialog::CreateControls() {
  CreateSkinButton(&cancelButton_, IDC_BTN_CANCEL, 460, 356, 37, 31, kPngCancel, true);
  CreateSkinButton(&closeButton_, IDC_BTN_CLOSE, 483, 1, 37, 31, kPngClose, false);
  CreateSkinButton(&minimizeButton_, IDC_BTN_MINIMIZE, 437, 1, 37, 31, kPngMinimize, false);
  CreateSkinButton(&installButton_, IDC_BTN_INSTALL, 207, 290, 137, 56, kPngInstall, true);
  CreateSkinButton(&agreementButton_, IDC_BTN_AGREEMENT, 294, 362, 37, 31, kPngAgreement, true);
  CreateSkinButton(&customButton_, IDC_BTN_CUSTOM, 444, 356, 71, 15, kPngCustom, true);
  checkBox_ = ::CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 170, 362,
                                13, 13, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_CHK_AGREE)),
                                instance_, nullptr);
  ::SendMessageA(checkBox_, BM_SETCHECK, BST_CHECKED, 0);
  CreateSkinButton(&browseButton_, IDC_BTN_BROWSE, 414, 114, 70, 30, kPngBrowse, true);
  CreateSkinButton(&defaultDirButton_, IDC_BTN_DEFAULT_DIR, 400, 162, 37, 31, kPngDefaultDir, true);
  CreateSkinButton(&backButton_, IDC_BTN_BACK, 450, 356, 37, 31, kPngBack, true);
  pathEdit_ = ::CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOHSCROLL,
                                141, 120, 266, 20, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_EDIT_PATH)),
                                instance_, nullptr);
}

bool Win32Dialog::OnInit() {
  CreateControls();

  // Path edit: its font, and the text centred vertically.
  editFont_.reset(MakeTextFont());
  ::SendMessageA(pathEdit_, WM_SETFONT, reinterpret_cast<WPARAM>(editFont_.get()), FALSE);
  if (HDC dc = ::GetDC(pathEdit_)) {
    HGDIOBJ old = ::SelectObject(dc, editFont_.get());
    TEXTMETRICA tm = {};
    ::GetTextMetricsA(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(pathEdit_, dc);
    RECT rc;
    ::GetClientRect(pathEdit_, &rc);
    rc.top += (rc.bottom - tm.tmHeight - tm.tmExternalLeading) / 2;
    ::SendMessageA(pathEdit_, EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&rc));
  }

  const CommandLineOptions options = ParseCommandLine(::GetCommandLineA());
  directInstall_ = options.directInstall;
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
  ::SendMessageA(pathEdit_, EM_LIMITTEXT, PathEditLimit(game), 0);

  ComputeDefaultFolder();

  std::string initial;
  if (directInstall_) {
    initial = options.installFolder;
  } else {
    const std::string remembered =
        ReadDefaultSetupDir(servers::SetupDescriptionUrl(), controller_.agencyIds.StandaloneAgencyID);
    initial = (!remembered.empty() && ::PathFileExistsA(remembered.c_str())) ? remembered
                                                                           : defaultFolder_;
  }
  gbk::CopyToBuffer(currentFolder_, sizeof(currentFolder_), initial);
  SetPathText(currentFolder_);
  RememberFolder(currentFolder_);

  LoadPictures();
  SizeAndCentre();
  slideIndex_ = 0;

  int free_kb = 0;
  freeKb_ = DriveFreeKb(defaultFolder_, &free_kb) ? free_kb : 0;

  page_ = PAGE_MAIN;
  requiredKb_ = controller_.setupInfo.requiredSpaceKb;
  ShowPage();

  XExtentConfig* extent = controller_.extentConfig.get();
  if (extent && extent->IsEnable() && extent->IsAutoRun()) {
    ::SetTimer(window_, TIMER_AUTOSTART, 1000, nullptr);
    TraceLine("kvx-out: auto start");
  }
  return true;
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
  gbk::CopyToBuffer(defaultFolder_, sizeof(defaultFolder_), folder);
}

void Win32Dialog::LoadPictures() {
  background_.LoadFromResource(instance_, kPngBackground);
  mainPicture_.LoadFromResource(instance_, kPngMainPicture);
  for (int i = 0; i < 5; ++i) slides_[i].LoadFromResource(instance_, kPngFirstSlide + i);
  barBackground_.LoadFromResource(instance_, kPngBarBackground);
  barFill_.LoadFromResource(instance_, kPngBarFill);
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

void Win32Dialog::SetPathText(const char* text) {
  settingPathText_ = true;
  ::SetWindowTextA(pathEdit_, text);
  settingPathText_ = false;
}

void Win32Dialog::RememberFolder(const char* folder) {
  WriteDefaultSetupDir(servers::SetupDescriptionUrl(), controller_.agencyIds.StandaloneAgencyID,
                       folder);
}

void Win32Dialog::ShowPage() {
  const int all[] = {IDC_BTN_CANCEL, IDC_BTN_INSTALL, IDC_BTN_AGREEMENT, IDC_BTN_CUSTOM,
                     IDC_CHK_AGREE,  IDC_BTN_BROWSE,  IDC_BTN_DEFAULT_DIR, IDC_BTN_BACK,
                     IDC_EDIT_PATH};
  for (int id : all) ::ShowWindow(control(id), SW_HIDE);
  ::KillTimer(window_, TIMER_SLIDESHOW);
  ::KillTimer(window_, TIMER_WORKER_END);
  ::EnableWindow(control(IDC_BTN_CLOSE), TRUE);

  switch (page_) {
    case PAGE_MAIN:
      ::ShowWindow(control(IDC_BTN_INSTALL), SW_SHOW);
      ::ShowWindow(control(IDC_BTN_AGREEMENT), SW_SHOW);
      // "-path " starts the installation once. A folder refused then sends
      // the window to the custom page; back from there, the main page is
      // the ordinary one instead of starting the refused folder again.
      if (directInstall_ && !directInstallTried_) {
        directInstallTried_ = true;
        ::SendMessageA(window_, WM_COMMAND, IDC_BTN_INSTALL, 0);
      } else {
        ::ShowWindow(control(IDC_BTN_CUSTOM), SW_SHOW);
        ::ShowWindow(control(IDC_CHK_AGREE), SW_SHOW);
      }
      break;
    case PAGE_CUSTOM:
      for (int id : {IDC_BTN_BROWSE, IDC_BTN_DEFAULT_DIR, IDC_BTN_BACK, IDC_EDIT_PATH,
                     IDC_BTN_INSTALL})
        ::ShowWindow(control(id), SW_SHOW);
      break;
    case PAGE_INSTALLING:
      slideIndex_ = 0;
      ::EnableWindow(control(IDC_BTN_CLOSE), FALSE);
      ::SetTimer(window_, TIMER_SLIDESHOW, 5000, nullptr);
      ::SetTimer(window_, TIMER_WORKER_END, 250, nullptr);
      break;
    default:
      break;
  }
  ::InvalidateRect(window_, nullptr, TRUE);
}

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
    case WM_SETUP_PROGRESS: {
      percent_ = static_cast<int>(lp);
      RECT area = {19, 300, 519, 350};
      ::InvalidateRect(window_, &area, TRUE);
      return 0;
    }
    case WM_SETUP_STATE:
      state_ = static_cast<int>(lp);
      statusText_ = SetupStateText(state_);
      // The percent and speed lines depend on the state as well.
      for (const RECT* r : {&statusRect_, &percentRect_, &speedRect_})
        ::InvalidateRect(window_, r, TRUE);
      if (state_ == SETUP_STATE_DONE) controller_.CompleteInstall();
      if (state_ == SETUP_STATE_ERROR) ::PostQuitMessage(0);
      return 0;
    case WM_SETUP_SPEED:
      speed_ = static_cast<int>(lp);
      ::InvalidateRect(window_, &speedRect_, TRUE);
      return 0;
    default:
      return ::DefWindowProcA(window_, msg, wp, lp);
  }
}

void Win32Dialog::OnDestroy() {
  if (page_ == PAGE_INSTALLING)
    controller_.RequestStop();
  else
    ::PostQuitMessage(0);
  if (!WaitForWorker(kWorkerWaitMs)) ::ExitProcess(0);
  ::PostQuitMessage(0);
}

void Win32Dialog::OnCommand(int id, int notification) {
  switch (id) {
    case IDC_BTN_CANCEL:
      controller_.RequestStop();
      break;
    case IDC_BTN_CLOSE:
      if (page_ == PAGE_INSTALLING && !WorkerEnded())
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
    case IDC_BTN_CUSTOM:
      page_ = PAGE_CUSTOM;
      ShowPage();
      break;
    case IDC_CHK_AGREE:
      OnCheckBox();
      break;
    case IDC_BTN_BROWSE:
      OnBrowse();
      break;
    case IDC_BTN_DEFAULT_DIR:
      gbk::CopyToBuffer(currentFolder_, sizeof(currentFolder_), defaultFolder_);
      SetPathText(currentFolder_);
      RememberFolder(currentFolder_);
      break;
    case IDC_BTN_BACK:
      page_ = PAGE_MAIN;
      ShowPage();
      break;
    case IDC_EDIT_PATH:
      if (notification == EN_CHANGE && !settingPathText_) {
        OnTypedFolder();
      } else if (notification == EN_KILLFOCUS) {
        SetPathText(currentFolder_);
        RememberFolder(currentFolder_);
      }
      break;
    default:
      break;
  }
}

void Win32Dialog::OnInstall() {
  if (folderInvalid_) {
    seams::ShowMessageBox(window_, "指定的路径无效", "确认", MB_OK);
    TraceLine("kvx-out: invalid dir");
    return;
  }
  page_ = PAGE_INSTALLING;
  ShowPage();
  controller_.StartInstall(window_, currentFolder_);
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
  const bool accepted = ::SendMessageA(checkBox_, BM_GETCHECK, 0, 0) == BST_CHECKED;
  for (int id : {IDC_BTN_CUSTOM, IDC_BTN_INSTALL}) {
    ::EnableWindow(control(id), accepted ? TRUE : FALSE);
    ::InvalidateRect(control(id), nullptr, TRUE);
  }
}

void Win32Dialog::OnBrowse() {
  const std::string game = controller_.setupInfo.gameName;
  const std::string title = gbk::FormatCut(259, "将%s安装到:", game.c_str());
  std::string chosen;
  if (!seams::BrowseForFolder(window_, title.c_str(), &chosen) || chosen.empty()) return;
  int free_kb = 0;
  if (!DriveFreeKb(chosen, &free_kb)) return;
  freeKb_ = free_kb;
  folderInvalid_ = false;
  std::string folder;
  if (ComposeInstallFolder(chosen, game, &folder))
    gbk::CopyToBuffer(currentFolder_, sizeof(currentFolder_), folder);
  SetPathText(currentFolder_);
  RememberFolder(currentFolder_);
  ::InvalidateRect(window_, nullptr, TRUE);
}

void Win32Dialog::OnTypedFolder() {
  char text[512] = {};
  ::GetWindowTextA(pathEdit_, text, sizeof(text));
  const std::string typed = text;
  if (typed.size() >= 260) {
    SetPathText(currentFolder_);
    RememberFolder(currentFolder_);
    return;
  }
  int free_kb = 0;
  // A folder with a line break (Enter in the multi-line edit) is no folder.
  if (typed.find_first_of("\r\n") != std::string::npos || !DriveFreeKb(typed, &free_kb)) {
    folderInvalid_ = true;
    return;
  }
  freeKb_ = free_kb;
  folderInvalid_ = false;
  std::string folder;
  if (ComposeInstallFolder(typed, controller_.setupInfo.gameName, &folder))
    gbk::CopyToBuffer(currentFolder_, sizeof(currentFolder_), folder);
  ::InvalidateRect(window_, nullptr, TRUE);
}

void Win32Dialog::OnTimer(UINT id) {
  if (id == TIMER_SLIDESHOW) {
    slideIndex_ = NextSlide(slideIndex_, 5);
    const CImage& slide = slides_[slideIndex_];
    RECT area = {0, 0, slide.GetWidth(), slide.GetHeight()};
    ::InvalidateRect(window_, &area, TRUE);
  } else if (id == TIMER_WORKER_END) {
    // WM_TIMER comes only when no posted message waits, so every report of
    // the ended worker has been handled by now. Ending on state 0 or 7 has
    // already asked to quit; any other last state (a list with nothing to
    // run) leaves nothing more to happen, so the user may close the window.
    if (page_ == PAGE_INSTALLING && WorkerEnded()) {
      ::KillTimer(window_, TIMER_WORKER_END);
      ::EnableWindow(control(IDC_BTN_CLOSE), TRUE);
    }
  } else if (id == TIMER_AUTOSTART) {
    ::KillTimer(window_, TIMER_AUTOSTART);
    if (page_ != PAGE_INSTALLING) OnCommand(IDC_BTN_INSTALL, 0);
  }
}

void Win32Dialog::OnPaint(HDC dc) {
  if (::IsIconic(window_)) return;
  RECT client;
  ::GetClientRect(window_, &client);
  const int w = client.right, h = client.bottom;
  ScopedMemoryDc mem(::CreateCompatibleDC(dc));
  if (!mem) return;
  ScopedBitmap bmp(::CreateCompatibleBitmap(dc, w > 0 ? w : 1, h > 0 ? h : 1));
  if (!bmp) return;
  HGDIOBJ old_bmp = ::SelectObject(mem.get(), bmp.get());

  background_.AlphaDraw(mem.get());
  ::SetBkMode(mem.get(), TRANSPARENT);
  ::SetTextColor(mem.get(), RGB(255, 255, 255));
  {
    FontScope font(mem.get(), MakeSmallFont());
    switch (page_) {
      case PAGE_MAIN:
        DrawMainPage(mem.get());
        break;
      case PAGE_CUSTOM:
        DrawCustomPage(mem.get());
        break;
      case PAGE_INSTALLING:
        DrawInstallingPage(mem.get());
        break;
      default:
        break;
    }
  }
  ::TransparentBlt(dc, 0, 0, w, h, mem.get(), 0, 0, w, h, kKeyColour);
  ::SelectObject(mem.get(), old_bmp);
}

void Win32Dialog::DrawMainPage(HDC dc) {
  if (!mainPicture_.IsNull()) {
    RECT r = {0, 0, mainPicture_.GetWidth(), mainPicture_.GetHeight()};
    mainPicture_.KeyedDraw(dc, r, r);
  }
  FontScope font(dc, MakeTextFont());
  ::SetTextColor(dc, kGold);
  DrawTextIn(dc, agreementText_, RECT{193, 362, 293, 382}, DT_LEFT);
}

void Win32Dialog::DrawCustomPage(HDC dc) {
  {
    FontScope font(dc, MakeTextFont());
    ::SetTextColor(dc, kCustomText);
    DrawTextIn(dc, "安装路径:", RECT{74, 123, 324, 143}, DT_LEFT);
    const std::string space =
        gbk::Format("所需空间：%s(可用空间：%s)", FormatKbUnits(requiredKb_).c_str(),
                    FormatKbUnits(freeKb_).c_str());
    DrawTextIn(dc, space, RECT{74, 156, 324, 176}, DT_LEFT);
  }
  FontScope title(dc, MakeTitleFont());
  ::SetTextColor(dc, kGold);
  DrawTextIn(dc, "自定义安装", RECT{30, 85, 130, 102}, DT_LEFT);
}

void Win32Dialog::DrawInstallingPage(HDC dc) {
  const CImage& slide = slides_[slideIndex_];
  if (!slide.IsNull()) {
    RECT r = {0, 0, slide.GetWidth(), slide.GetHeight()};
    slide.KeyedDraw(dc, r, r);
  }
  ::SetTextColor(dc, kInstallingText);
  DrawTextIn(dc, statusText_, statusRect_, DT_LEFT);
  DrawTextIn(dc, PercentText(state_, percent_), percentRect_, DT_RIGHT);
  barBackground_.PlainDraw(dc, 19, 316, barBackground_.GetWidth(), barBackground_.GetHeight());
  barFill_.PlainDraw(dc, 22, 319,
                     ProgressFillWidth(percent_, barBackground_.GetWidth(), barFill_.GetWidth()),
                     barFill_.GetHeight());
  DrawTextIn(dc, SpeedText(state_, speed_), speedRect_, DT_LEFT);
}
