// The skin button on real button windows: attaching, shaping from the strip,
// state frames, clicks reaching the parent, and detaching.
#include "ui/skin_button.h"

#include <gtest/gtest.h>

#include <vector>

#include "png_writer.h"
#include "res/resource_ids.h"
#include "system/scoped_handle.h"

namespace {

std::vector<WPARAM> g_commands;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND) g_commands.push_back(wp);
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

class SkinButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "SkinButtonTestParent";
    ::RegisterClassA(&wc);
    parent_ = ::CreateWindowExA(0, "SkinButtonTestParent", "", WS_POPUP, 0, 0, 300, 200, nullptr,
                                nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, parent_);
    button_ = ::CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 20, 37,
                                31, parent_, reinterpret_cast<HMENU>(1004), wc.hInstance, nullptr);
    ASSERT_NE(nullptr, button_);
    original_proc_ = ::GetWindowLongPtrA(button_, GWLP_WNDPROC);
    g_commands.clear();
  }
  void TearDown() override {
    if (parent_) ::DestroyWindow(parent_);
  }

  static SIZE WindowSize(HWND hwnd) {
    RECT r;
    ::GetWindowRect(hwnd, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
  }

  HWND parent_ = nullptr;
  HWND button_ = nullptr;
  LONG_PTR original_proc_ = 0;
};

// Frame 0 of a 5 x 4 frame: 'M' is magenta, '.' is red.
const char* const kFrame0[] = {
    "M...M",
    "MMMMM",  // a fully magenta row lets clicks through
    ".....",
    "MM.MM",
};

std::string ShapedStrip() {
  const Rgba colours[4] = {{200, 0, 0, 255}, {0, 200, 0, 255}, {0, 0, 200, 255}, {90, 90, 90, 255}};
  std::vector<Rgba> px = SolidStrip(5, 4, colours);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x)
      if (kFrame0[y][x] == 'M') px[y * 20 + x] = Rgba{255, 0, 255, 255};
  return EncodeRgbaPng(20, 4, px);
}

}  // namespace

TEST_F(SkinButtonTest, AttachSkinsTheWindow) {
  CWINButton skin;
  EXPECT_FALSE(skin.Attach(nullptr));
  EXPECT_FALSE(skin.Attach(reinterpret_cast<HWND>(0x1234)));
  ASSERT_TRUE(skin.Attach(button_));
  EXPECT_EQ(&skin, ::GetPropA(button_, "CWINBUTTON"));
  EXPECT_EQ(0xB, ::GetWindowLongPtrA(button_, GWL_STYLE) & 0xF);
  EXPECT_NE(original_proc_, ::GetWindowLongPtrA(button_, GWLP_WNDPROC));
  ScopedRegion rgn(::CreateRectRgn(0, 0, 0, 0));
  EXPECT_NE(ERROR, ::GetWindowRgn(button_, rgn.get()));
  // Rounded corners: the corner pixel is cut off, the middle is in.
  EXPECT_FALSE(::PtInRegion(rgn.get(), 0, 0));
  EXPECT_TRUE(::PtInRegion(rgn.get(), 18, 15));
}

TEST_F(SkinButtonTest, LoadSizesToOneFrameAndShapesFromFrameZero) {
  CWINButton skin;
  ASSERT_TRUE(skin.Attach(button_));
  const std::string png = ShapedStrip();
  ASSERT_TRUE(skin.LoadImageFromMemory(png.data(), png.size()));
  EXPECT_TRUE(skin.image_loaded());
  const SIZE size = WindowSize(button_);
  EXPECT_EQ(5, size.cx);
  EXPECT_EQ(4, size.cy);
  RECT pos;
  ::GetWindowRect(button_, &pos);
  POINT origin = {pos.left, pos.top};
  ::ScreenToClient(parent_, &origin);
  EXPECT_EQ(10, origin.x);  // position kept
  EXPECT_EQ(20, origin.y);

  ScopedRegion rgn(::CreateRectRgn(0, 0, 0, 0));
  ASSERT_NE(ERROR, ::GetWindowRgn(button_, rgn.get()));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(kFrame0[y][x] != 'M', ::PtInRegion(rgn.get(), x, y) != FALSE) << x << "," << y;
}

TEST_F(SkinButtonTest, StripWidthNotAMultipleOfFour) {
  CWINButton skin;
  ASSERT_TRUE(skin.Attach(button_));
  const std::string png = EncodeRgbaPng(11, 3, std::vector<Rgba>(33, {1, 2, 3, 255}));
  ASSERT_TRUE(skin.LoadImageFromMemory(png.data(), png.size()));
  EXPECT_EQ(2, WindowSize(button_).cx);
  EXPECT_EQ(3, WindowSize(button_).cy);
}

TEST_F(SkinButtonTest, FailedLoadKeepsSizeAndBuiltInLook) {
  CWINButton skin;
  ASSERT_TRUE(skin.Attach(button_));
  EXPECT_FALSE(skin.LoadImageFromMemory("nope", 4));
  EXPECT_FALSE(skin.image_loaded());
  EXPECT_FALSE(skin.LoadImage(::GetModuleHandleA(nullptr), IDB_INSTALL));  // not in the test program
  EXPECT_EQ(37, WindowSize(button_).cx);
  EXPECT_EQ(31, WindowSize(button_).cy);
  // The built-in look paints without a strip.
  ::ShowWindow(parent_, SW_SHOWNA);
  ::UpdateWindow(button_);
  ::SendMessageA(button_, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  ::SendMessageA(button_, WM_SETFOCUS, 0, 0);
  ::UpdateWindow(button_);
}

TEST_F(SkinButtonTest, LoadWhileDisabledChangesNothing) {
  CWINButton skin;
  ASSERT_TRUE(skin.Attach(button_));
  ::EnableWindow(button_, FALSE);
  EXPECT_FALSE(skin.enabled());
  const std::string png = ShapedStrip();
  EXPECT_FALSE(skin.LoadImageFromMemory(png.data(), png.size()));
  EXPECT_FALSE(skin.image_loaded());
  EXPECT_EQ(37, WindowSize(button_).cx);
  EXPECT_EQ(3, skin.FrameIndex());
  ::EnableWindow(button_, TRUE);
  EXPECT_TRUE(skin.LoadImageFromMemory(png.data(), png.size()));
}

TEST_F(SkinButtonTest, MessagesMoveThroughTheFrames) {
  CWINButton skin;
  ASSERT_TRUE(skin.Attach(button_));
  const std::string png = ShapedStrip();
  ASSERT_TRUE(skin.LoadImageFromMemory(png.data(), png.size()));
  struct Step {
    UINT msg;
    WPARAM wp;
    int frame;
  };
  const Step steps[] = {
      {WM_MOUSEMOVE, 0, 1},  {WM_LBUTTONDOWN, MK_LBUTTON, 2}, {WM_LBUTTONUP, 0, 1},
      {WM_SETFOCUS, 0, 1},   {WM_MOUSELEAVE, 0, 0},  // leaving also clears focus
      {WM_SETFOCUS, 0, 1},   {WM_KILLFOCUS, 0, 0},   {WM_LBUTTONDOWN, MK_LBUTTON, 2},
      {WM_ENABLE, FALSE, 3}, {WM_MOUSEMOVE, 0, 3},   {WM_ENABLE, TRUE, 2},
      {WM_LBUTTONUP, 0, 1},  {WM_MOUSELEAVE, 0, 0},
  };
  int i = 0;
  for (const Step& s : steps) {
    ::SendMessageA(button_, s.msg, s.wp, MAKELPARAM(2, 2));
    EXPECT_EQ(s.frame, skin.FrameIndex()) << "step " << i;
    ++i;
  }
}

TEST_F(SkinButtonTest, ClicksStillReachTheParent) {
  CWINButton skin;
  ASSERT_TRUE(skin.Attach(button_));
  ::SendMessageA(button_, BM_CLICK, 0, 0);
  ASSERT_EQ(1u, g_commands.size());
  EXPECT_EQ(1004, LOWORD(g_commands[0]));
  EXPECT_EQ(BN_CLICKED, HIWORD(g_commands[0]));
}

TEST_F(SkinButtonTest, DestroyRestoresTheWindowProcedure) {
  {
    CWINButton skin;
    ASSERT_TRUE(skin.Attach(button_));
  }
  EXPECT_EQ(original_proc_, ::GetWindowLongPtrA(button_, GWLP_WNDPROC));
  EXPECT_EQ(nullptr, ::GetPropA(button_, "CWINBUTTON"));
  ::SendMessageA(button_, WM_MOUSEMOVE, 0, 0);  // no stale object is reached
}

TEST_F(SkinButtonTest, WindowDestroyedBeforeTheObject) {
  CWINButton skin;
  ASSERT_TRUE(skin.Attach(button_));
  ::DestroyWindow(parent_);
  parent_ = nullptr;
  EXPECT_EQ(nullptr, skin.hwnd());
}
