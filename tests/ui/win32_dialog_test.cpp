// The main window driven by messages, as the user and the worker would.
// The test program's name carries no agency identifiers, so initialisation
// stops after the controls exist; everything after that is sent directly.
#include "ui/win32_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <cstring>

#include "app/install_hooks.h"
#include "net/resume_cache.h"
#include "net/servers.h"
#include "system/seams.h"
#include "test_seams.h"
#include "ui/window_map.h"

namespace {

DWORD WINAPI SleepThenEnd(void* ms) {
  ::Sleep(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(ms)));
  return 0;
}
HANDLE Sleeper(DWORD ms) {
  return ::CreateThread(nullptr, 0, SleepThenEnd, reinterpret_cast<void*>(static_cast<UINT_PTR>(ms)),
                        0, nullptr);
}

// Takes the quit message out of the queue; returns whether one was there.
bool TakeQuit(WPARAM* code = nullptr) {
  MSG msg;
  bool found = false;
  while (::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    found = true;
    if (code) *code = msg.wParam;
  }
  return found;
}

std::string g_browse_answer;
bool g_browse_ok = false;
std::string g_browse_title;
bool FakeBrowse(HWND, const char* title, std::string* chosen) {
  g_browse_title = title;
  if (g_browse_ok) *chosen = g_browse_answer;
  return g_browse_ok;
}

class Win32DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_browse_ = seams::SetBrowseFolderForTesting(&FakeBrowse);
    dialog_ = std::make_unique<Win32Dialog>(::GetModuleHandleA(nullptr));
    const RECT rect = {0, 0, 455, 325};
    created_ = dialog_->Create("Win32DialogTest", "在线安装", WS_POPUP, rect, nullptr);
    hwnd_ = dialog_->hwnd();
    TakeQuit();
    dialog_->controller().setupInfo.gameName[0] = 0;
    strcpy(dialog_->controller().setupInfo.gameName, "Hall");
  }
  void TearDown() override {
    dialog_.reset();
    if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
    TakeQuit();
    seams::SetBrowseFolderForTesting(previous_browse_);
  }

  void Command(int id, int notification = 0) {
    ::SendMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(id, notification),
                   reinterpret_cast<LPARAM>(dialog_->control(id)));
  }
  void Type(const std::string& text) {
    ::SetWindowTextA(dialog_->control(IDC_EDIT_PATH), text.c_str());
    Command(IDC_EDIT_PATH, EN_CHANGE);
  }
  std::string EditText() {
    char buf[600] = {};
    ::GetWindowTextA(dialog_->control(IDC_EDIT_PATH), buf, sizeof(buf));
    return buf;
  }
  bool Shown(int id) {
    return (::GetWindowLongA(dialog_->control(id), GWL_STYLE) & WS_VISIBLE) != 0;
  }
  bool Enabled(int id) { return ::IsWindowEnabled(dialog_->control(id)) != FALSE; }

  ScopedMessageBoxRecorder boxes_;
  seams::BrowseFolderFn previous_browse_ = nullptr;
  std::unique_ptr<Win32Dialog> dialog_;
  bool created_ = true;
  HWND hwnd_ = nullptr;
};

}  // namespace

TEST_F(Win32DialogTest, RenamedInstallerIsToldAndQuits) {
  EXPECT_FALSE(created_);
  ASSERT_NE(nullptr, hwnd_);
  EXPECT_FALSE(::IsWindowVisible(hwnd_));
  const auto shown = boxes_.shown();
  ASSERT_EQ(1u, shown.size());
  EXPECT_EQ("安装文件名不能更改，否则无法完成安装！", shown[0].text);
  EXPECT_EQ("退出", shown[0].caption);
  EXPECT_EQ(hwnd_, shown[0].owner);
  EXPECT_EQ(static_cast<UINT>(MB_OK), shown[0].type);
  EXPECT_EQ(dialog_.get(), WindowMap()[hwnd_]);
  for (const ControlRow& row : kControls) EXPECT_NE(nullptr, dialog_->control(row.id)) << row.id;
}

// Every page command leads to its page, which shows exactly the controls
// whose rows name it.
TEST_F(Win32DialogTest, PagesShowTheirControls) {
  for (const PageCommand& step : kPageCommands) {
    Command(step.command);
    EXPECT_EQ(step.page, dialog_->page()) << "command " << step.command;
    for (const ControlRow& row : kControls)
      EXPECT_EQ(ShowsOn(row, step.page), Shown(row.id))
          << "command " << step.command << " control " << row.id;
    EXPECT_TRUE(Enabled(IDC_BTN_CLOSE));
  }
}

TEST_F(Win32DialogTest, AgreementBoxEnablesInstallAndCustom) {
  HWND box = dialog_->control(IDC_CHK_AGREE);
  EXPECT_EQ(BST_CHECKED, ::SendMessageA(box, BM_GETCHECK, 0, 0));
  ::SendMessageA(box, BM_SETCHECK, BST_UNCHECKED, 0);
  Command(IDC_CHK_AGREE, BN_CLICKED);
  EXPECT_FALSE(Enabled(IDC_BTN_INSTALL));
  EXPECT_FALSE(Enabled(IDC_BTN_CUSTOM));
  EXPECT_TRUE(Enabled(IDC_BTN_AGREEMENT));
  ::SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
  Command(IDC_CHK_AGREE, BN_CLICKED);
  EXPECT_TRUE(Enabled(IDC_BTN_INSTALL));
  EXPECT_TRUE(Enabled(IDC_BTN_CUSTOM));
}

TEST_F(Win32DialogTest, TypedFolderOnAMissingDriveBlocksInstall) {
  Command(IDC_BTN_CUSTOM);
  Type("Q:\\Nowhere");
  EXPECT_TRUE(dialog_->folder_invalid());
  Command(IDC_BTN_INSTALL);
  EXPECT_EQ(DialogPage::PAGE_CUSTOM, dialog_->page());
  auto shown = boxes_.shown();
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ("指定的路径无效", shown[1].text);
  EXPECT_EQ("确认", shown[1].caption);

  // A good folder clears the flag; the edit keeps what was typed until it
  // loses the focus.
  Type("C:\\Games");
  EXPECT_FALSE(dialog_->folder_invalid());
  EXPECT_STREQ("C:\\Games\\Hall\\", dialog_->current_folder());
  EXPECT_GT(dialog_->free_kb(), 0);
  EXPECT_EQ("C:\\Games", EditText());
  Command(IDC_EDIT_PATH, EN_KILLFOCUS);
  EXPECT_EQ("C:\\Games\\Hall\\", EditText());
}

TEST_F(Win32DialogTest, TypedFolderRules) {
  const struct {
    std::string typed;
    bool invalid;
    const char* folder;  // current folder afterwards
  } cases[] = {
      {"C:\\Games", false, "C:\\Games\\Hall\\"},
      {"C:\\Games\\Hall\\", false, "C:\\Games\\Hall\\"},
      {"C:\\Other\\", false, "C:\\Other\\Hall\\"},
      {"Z", true, "C:\\Other\\Hall\\"},            // no drive
      {"Games\\Hall", true, "C:\\Other\\Hall\\"},  // relative
      {"C:\\A\r\nB", true, "C:\\Other\\Hall\\"},   // Enter in the edit
      {"C:\\" + std::string(300, 'x'), true, "C:\\Other\\Hall\\"},  // too long: text reset, flag kept
      {"C:\\Last", false, "C:\\Last\\Hall\\"},
  };
  for (const auto& c : cases) {
    Type(c.typed);
    EXPECT_EQ(c.invalid, dialog_->folder_invalid()) << c.typed;
    EXPECT_STREQ(c.folder, dialog_->current_folder()) << c.typed;
  }
  // The over-long text was replaced by the current folder at once.
  Type("C:\\" + std::string(300, 'x'));
  EXPECT_EQ("C:\\Last\\Hall\\", EditText());
}

TEST_F(Win32DialogTest, BrowseComposesTheFolder) {
  const struct {
    bool ok;
    const char* chosen;
    const char* folder;
  } cases[] = {
      {true, "C:\\Games", "C:\\Games\\Hall\\"},
      {true, "C:\\Games\\Hall", "C:\\Games\\Hall\\"},
      {false, "C:\\Cancelled", "C:\\Games\\Hall\\"},
      {true, "", "C:\\Games\\Hall\\"},
      {true, "Q:\\NoDrive", "C:\\Games\\Hall\\"},
      {true, "\\\\server\\share", "C:\\Games\\Hall\\"},
      {true, "C:\\", "C:\\Hall\\"},
  };
  for (const auto& c : cases) {
    g_browse_ok = c.ok;
    g_browse_answer = c.chosen;
    Command(IDC_BTN_BROWSE);
    EXPECT_STREQ(c.folder, dialog_->current_folder()) << c.chosen;
  }
  EXPECT_EQ("将Hall安装到:", g_browse_title);
  EXPECT_EQ("C:\\Hall\\", EditText());
}

TEST_F(Win32DialogTest, BrowseClearsAnInvalidTypedFolder) {
  Type("Q:\\Nowhere");
  ASSERT_TRUE(dialog_->folder_invalid());
  g_browse_ok = true;
  g_browse_answer = "C:\\Games";
  Command(IDC_BTN_BROWSE);
  EXPECT_FALSE(dialog_->folder_invalid());
}

// Browse, leaving the edit and the default-folder button remember the folder
// for the next start; typing alone does not.
TEST_F(Win32DialogTest, RememberedFolderFollowsTheChoices) {
  auto remembered = [&] {
    return ReadDefaultSetupDir(servers::SetupDescriptionUrl(),
                               dialog_->controller().agencyIds.StandaloneAgencyID);
  };
  g_browse_ok = true;
  g_browse_answer = "C:\\Games";
  Command(IDC_BTN_BROWSE);
  EXPECT_EQ("C:\\Games\\Hall\\", remembered());

  Type("C:\\Typed");
  EXPECT_STREQ("C:\\Typed\\Hall\\", dialog_->current_folder());
  EXPECT_EQ("C:\\Games\\Hall\\", remembered());
  Command(IDC_EDIT_PATH, EN_KILLFOCUS);
  EXPECT_EQ("C:\\Typed\\Hall\\", remembered());

  Command(IDC_BTN_DEFAULT_DIR);
  EXPECT_STREQ(dialog_->default_folder(), dialog_->current_folder());
  EXPECT_EQ(dialog_->default_folder(), EditText());
  EXPECT_EQ(dialog_->default_folder(), remembered());
}

TEST_F(Win32DialogTest, WorkerReportsReachTheDisplay) {
  ::SendMessageA(hwnd_, WM_SETUP_PROGRESS, 0, 42);
  EXPECT_EQ(42, dialog_->percent());
  ::SendMessageA(hwnd_, WM_SETUP_SPEED, 0, 1536);
  EXPECT_EQ(1536, dialog_->speed());
  EXPECT_EQ("正在读取配置文件", dialog_->status_text());
  ::SendMessageA(hwnd_, WM_SETUP_STATE, 0, 4);
  EXPECT_EQ(4, dialog_->state());
  EXPECT_EQ("正在下载", dialog_->status_text());
  EXPECT_FALSE(TakeQuit());
  ::SendMessageA(hwnd_, WM_SETUP_STATE, 0, 0);
  WPARAM code = 99;
  EXPECT_TRUE(TakeQuit(&code));
  EXPECT_EQ(0u, code);
  EXPECT_EQ("错误，请重新下载", dialog_->status_text());
}

// Pumps the window's messages for `ms` or until `done` says so.
template <typename Done>
bool PumpUntil(DWORD ms, Done done) {
  const DWORD start = ::GetTickCount();
  while (!done() && ::GetTickCount() - start < ms) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    ::Sleep(10);
  }
  return done();
}

// A worker that ends on state 6 (a list with nothing to run) leaves nothing
// more to happen: the close button comes back, page and texts stay.
TEST_F(Win32DialogTest, CloseComesBackWhenTheWorkerEndsWithNothingToRun) {
  // No folder was chosen, so the controller refuses it and posts the return
  // to the custom page; the test drops that and plays the worker itself.
  Command(IDC_BTN_INSTALL);
  MSG dropped;
  while (::PeekMessageA(&dropped, hwnd_, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {}
  ASSERT_EQ(DialogPage::PAGE_INSTALLING, dialog_->page());
  dialog_->controller().workerThread.reset(Sleeper(400));
  ::PostMessageA(hwnd_, WM_SETUP_PROGRESS, 0, 100);
  ::PostMessageA(hwnd_, WM_SETUP_STATE, 0, 6);
  EXPECT_FALSE(PumpUntil(200, [&] { return Enabled(IDC_BTN_CLOSE); }));  // still running
  EXPECT_TRUE(PumpUntil(5000, [&] { return Enabled(IDC_BTN_CLOSE); }));
  EXPECT_EQ(DialogPage::PAGE_INSTALLING, dialog_->page());
  EXPECT_EQ("正在安装", dialog_->status_text());
  EXPECT_FALSE(TakeQuit());
  Command(IDC_BTN_CLOSE);
  EXPECT_TRUE(TakeQuit());
}

// A worker that cannot be started: a message, and back to the custom page,
// which the user can leave.
TEST_F(Win32DialogTest, AWorkerThatCannotStartIsReportedAndLeavesTheWindowClosable) {
  TempFolder work;
  servers::SetServerBasesForTesting("http://127.0.0.1:1", "http://127.0.0.1:1");
  install_hooks::SetWorkerStartFailsForTesting(true);
  Type(work.path());
  Command(IDC_BTN_INSTALL);
  install_hooks::SetWorkerStartFailsForTesting(false);
  servers::SetServerBasesForTesting("", "");
  EXPECT_TRUE(PumpUntil(3000, [&] { return dialog_->page() == DialogPage::PAGE_CUSTOM; }));
  EXPECT_TRUE(Enabled(IDC_BTN_CLOSE));
  const auto shown = boxes_.shown();
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ("无法启动安装过程，请关闭其他程序后重试", shown[1].text);
  EXPECT_EQ("错误", shown[1].caption);
  Command(IDC_BTN_CLOSE);
  EXPECT_TRUE(TakeQuit());
}

// "-path " with a folder that cannot be made: the message, owned by the
// window so that it stays above the installing page, then the custom page;
// back from there the main page is the ordinary one and starts nothing.
TEST_F(Win32DialogTest, ARefusedCommandLineFolderLeadsToTheCustomPageOnce) {
  dialog_->SetDirectInstallForTesting("Q:\\no\\such\\drive\\");
  Command(IDC_BTN_BACK);  // shows the main page, which starts the installation
  EXPECT_TRUE(PumpUntil(3000, [&] { return dialog_->page() == DialogPage::PAGE_CUSTOM; }));
  auto shown = boxes_.shown();
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ("安装提示", shown[1].caption);
  EXPECT_EQ(hwnd_, shown[1].owner);
  EXPECT_TRUE(Enabled(IDC_BTN_CLOSE));
  Command(IDC_BTN_BACK);
  PumpUntil(300, [] { return false; });
  EXPECT_EQ(DialogPage::PAGE_MAIN, dialog_->page());
  EXPECT_TRUE(Shown(IDC_BTN_CUSTOM));
  EXPECT_TRUE(Shown(IDC_CHK_AGREE));
  EXPECT_EQ(2u, boxes_.shown().size());
}

// A state change repaints the speed and percent lines, whose texts depend on
// the state ("下载速度" only while downloading).
TEST_F(Win32DialogTest, StateChangeRepaintsTheSpeedLine) {
  ::SetWindowPos(hwnd_, nullptr, 0, 0, 520, 400, SWP_NOMOVE | SWP_NOZORDER);
  ::ShowWindow(hwnd_, SW_SHOWNA);
  for (int state : {4, 5, 6}) {
    ::ValidateRect(hwnd_, nullptr);
    ::SendMessageA(hwnd_, WM_SETUP_STATE, 0, state);
    ScopedRegion update(::CreateRectRgn(0, 0, 0, 0));
    ::GetUpdateRgn(hwnd_, update.get(), FALSE);
    for (const RECT& r : {kSpeedRect, kPercentRect}) {
      ScopedRegion missing(::CreateRectRgnIndirect(&r));
      EXPECT_EQ(NULLREGION, ::CombineRgn(missing.get(), missing.get(), update.get(), RGN_DIFF))
          << "state " << state << " rect top " << r.top;
    }
  }
}

TEST_F(Win32DialogTest, OnlyTheTopStripDrags) {
  ::SetWindowPos(hwnd_, nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  const struct {
    int x, y;
    LRESULT hit;
  } cases[] = {
      {100, 50, HTCAPTION}, {300, 69, HTCAPTION}, {300, 70, 0}, {150, 200, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.hit, ::SendMessageA(hwnd_, WM_NCHITTEST, 0, MAKELPARAM(c.x, c.y))) << c.y;
}

TEST_F(Win32DialogTest, CloseAndMinimise) {
  Command(IDC_BTN_CLOSE);
  WPARAM code = 99;
  EXPECT_TRUE(TakeQuit(&code));
  EXPECT_EQ(0u, code);
  Command(IDC_BTN_CUSTOM);
  Command(IDC_BTN_CLOSE);
  EXPECT_TRUE(TakeQuit());
  ::ShowWindow(hwnd_, SW_SHOWNA);
  Command(IDC_BTN_MINIMIZE);
  EXPECT_TRUE(::IsIconic(hwnd_));
}

TEST_F(Win32DialogTest, TimersSlideAndAutostart) {
  for (int expected : {1, 2, 3, 4, 0, 1}) {
    dialog_->OnTimer(TIMER_SLIDESHOW);
    EXPECT_EQ(expected, dialog_->slide_index());
  }
  // Automatic start acts as the install button (here refused for the folder).
  Type("Q:\\Nowhere");
  dialog_->OnTimer(TIMER_AUTOSTART);
  const auto shown = boxes_.shown();
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ("指定的路径无效", shown[1].text);
}

TEST_F(Win32DialogTest, PaintsEveryPageWithoutPictures) {
  ::ShowWindow(hwnd_, SW_SHOWNA);
  for (const PageCommand& step : kPageCommands) {
    Command(step.command);
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
  ::SendMessageA(hwnd_, WM_SETUP_STATE, 0, 6);
  ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

TEST_F(Win32DialogTest, DestroyWaitsForARunningWorker) {
  dialog_->controller().workerThread.reset(Sleeper(300));
  const DWORD start = ::GetTickCount();
  ::DestroyWindow(hwnd_);
  EXPECT_GE(::GetTickCount() - start, 200u);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(dialog_->controller().workerThread.get(), 0));
  EXPECT_TRUE(TakeQuit());
}

TEST(WaitForWorkerToEnd, BoundedWait) {
  EXPECT_TRUE(WaitForWorkerToEnd(nullptr, nullptr, 0));

  ScopedKernelHandle quick(Sleeper(50));
  EXPECT_TRUE(WaitForWorkerToEnd(quick.get(), nullptr, 5000));

  ScopedKernelHandle ended(Sleeper(0));
  ::WaitForSingleObject(ended.get(), INFINITE);
  EXPECT_TRUE(WaitForWorkerToEnd(ended.get(), nullptr, 0));

  ScopedKernelHandle slow(Sleeper(1000));
  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(WaitForWorkerToEnd(slow.get(), nullptr, 100));
  EXPECT_LT(::GetTickCount() - start, 900u);

  // The finished event counts as the end even while the thread winds down.
  ScopedKernelHandle event(::CreateEventA(nullptr, FALSE, TRUE, nullptr));
  ScopedKernelHandle winding(Sleeper(200));
  EXPECT_TRUE(WaitForWorkerToEnd(winding.get(), event.get(), 100));
  ::WaitForSingleObject(slow.get(), INFINITE);
}
