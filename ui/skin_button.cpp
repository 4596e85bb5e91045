#include "ui/skin_button.h"

#include "system/trace.h"
#include "ui/skin_rules.h"

namespace {

constexpr char kProperty[] = "CWINBUTTON";

HPEN InsidePen(int width, COLORREF colour) {
  return ::CreatePen(PS_INSIDEFRAME, width, colour);
}

}  // namespace

CWINButton::CWINButton()
    : outline_pen_(InsidePen(1, RGB(255, 255, 255))),
      hover_brush_(::CreateSolidBrush(RGB(223, 222, 236))),
      normal_brush_(::CreateSolidBrush(RGB(222, 223, 236))) {
  hot_pens_[0].reset(InsidePen(3, RGB(250, 196, 88)));
  hot_pens_[1].reset(InsidePen(3, RGB(251, 202, 106)));
  hot_pens_[2].reset(InsidePen(2, RGB(252, 210, 121)));
  hot_pens_[3].reset(InsidePen(2, RGB(229, 151, 0)));
  focus_pens_[0].reset(InsidePen(3, RGB(153, 198, 252)));
  focus_pens_[1].reset(InsidePen(3, RGB(162, 189, 252)));
  focus_pens_[2].reset(InsidePen(2, RGB(162, 201, 255)));
  focus_pens_[3].reset(InsidePen(2, RGB(162, 201, 255)));
}

CWINButton::~CWINButton() { Detach(); }

void CWINButton::Detach() {
  if (window_ && ::IsWindow(window_)) {
    if (previous_proc_)
      ::SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_proc_));
    ::RemovePropA(window_, kProperty);
  }
  window_ = nullptr;
  previous_proc_ = nullptr;
}

bool CWINButton::Attach(HWND window) {
  if (!::IsWindow(window)) return false;
  window_ = window;
  parent_ = ::GetParent(window);
  if (!::SetPropA(window, kProperty, this)) {
    TraceLine("SetProp ERROR");
    window_ = nullptr;
    return false;
  }
  ::SetWindowLongPtrA(window, GWL_STYLE, ::GetWindowLongPtrA(window, GWL_STYLE) | 0xB);
  RECT rc;
  ::GetClientRect(window, &rc);
  HRGN rounded = ::CreateRoundRectRgn(rc.left, rc.top, rc.right, rc.bottom, 5, 5);
  if (rounded && !::SetWindowRgn(window, rounded, TRUE)) ::DeleteObject(rounded);
  previous_proc_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWINButton::SharedProc)));
  return true;
}

bool CWINButton::LoadImage(HMODULE module, int id) {
  if (!enabled_) return false;
  if (::FindResourceA(module, MAKEINTRESOURCEA(id), "PNG")) strip_.LoadFromResource(module, id);
  return FinishLoad();
}

bool CWINButton::LoadImageFromMemory(const void* bytes, size_t size) {
  if (!enabled_) return false;
  strip_.LoadFromMemory(bytes, size);
  return FinishLoad();
}

bool CWINButton::FinishLoad() {
  if (strip_.IsNull()) return false;
  if (window_) {
    ::SetWindowPos(window_, nullptr, 0, 0, StripFrameWidth(strip_.GetWidth()), strip_.GetHeight(),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShapeFromStrip();
    ::InvalidateRect(window_, nullptr, TRUE);
  }
  image_loaded_ = true;
  return true;
}

void CWINButton::ShapeFromStrip() {
  HRGN shape = ::CreateRectRgn(0, 0, 0, 0);
  if (!shape) {
    TraceLine("CreateRectRgn wndRgn ERROR");
    return;
  }
  const std::vector<RECT> runs =
      ShapeRuns(StripFrameWidth(strip_.GetWidth()), strip_.GetHeight(),
                [this](int x, int y) { return strip_.GetPixel(x, y) == kKeyColour; });
  for (const RECT& r : runs) {
    ScopedRegion piece(::CreateRectRgn(r.left, r.top, r.right, r.bottom));
    if (!piece) {
      TraceLine("CreateRectRgn temp ERROR");
      continue;
    }
    if (::CombineRgn(shape, shape, piece.get(), RGN_OR) == ERROR) TraceLine("CombineRgn ERROR");
  }
  // The window owns the region from here on.
  if (!::SetWindowRgn(window_, shape, TRUE)) ::DeleteObject(shape);
}

int CWINButton::FrameIndex() const { return ButtonFrameIndex(enabled_, pressed_, hover_, focused_); }

void CWINButton::Repaint() {
  if (window_) ::InvalidateRect(window_, nullptr, TRUE);
}

LRESULT CALLBACK CWINButton::SharedProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = static_cast<CWINButton*>(::GetPropA(hwnd, kProperty));
  if (!self) return ::DefWindowProcA(hwnd, msg, wp, lp);
  return self->Handle(msg, wp, lp);
}

LRESULT CWINButton::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    OnPaint();
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  UpdateState(msg, wp);
  return PassOn(msg, wp, lp);
}

void CWINButton::UpdateState(UINT msg, WPARAM wp) {
  switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      focused_ = msg == WM_SETFOCUS;
      Repaint();
      break;
    case WM_ENABLE:
      enabled_ = wp != 0;
      Repaint();
      break;
    case WM_CLOSE:
    case WM_CHAR:
      TraceLine("WM_CHAR");
      break;
    case WM_DRAWITEM:
      TraceLine("WM_DRAWITEM");
      break;
    case WM_MOUSEMOVE:
      OnMouseMove();
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      pressed_ = msg == WM_LBUTTONDOWN;
      Repaint();
      break;
    case WM_MOUSELEAVE:
      hover_ = false;
      focused_ = false;
      Repaint();
      break;
    default:
      break;
  }
}

void CWINButton::OnMouseMove() {
  if (!hover_) {
    hover_ = true;
    Repaint();
    TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, window_, 0};
    ::TrackMouseEvent(&track);
  }
  if (hand_cursor && enabled_) {
    // Clears the cursor of the whole standard button class so the system
    // stops resetting the pointer over these buttons.
    ::SetClassLongPtrA(window_, GCLP_HCURSOR, 0);
    ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND
  }
}

LRESULT CWINButton::PassOn(UINT msg, WPARAM wp, LPARAM lp) {
  // Detaching clears the members, so the previous procedure is read first.
  HWND hwnd = window_;
  WNDPROC previous = previous_proc_;
  if (msg == WM_NCDESTROY) Detach();
  return previous ? ::CallWindowProcA(previous, hwnd, msg, wp, lp) : ::DefWindowProcA(hwnd, msg, wp, lp);
}

void CWINButton::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(window_, &ps);
  if (!dc) return;
  const int saved = ::SaveDC(dc);
  ScopedRegion clip(::CreateRectRgn(0, 0, 0, 0));
  if (!clip || ::GetWindowRgn(window_, clip.get()) == ERROR ||
      ::SelectClipRgn(dc, clip.get()) == ERROR)
    TraceLine("SelectClipRgn ERROR");
  Draw(dc);
  ::RestoreDC(dc, saved);
  ::EndPaint(window_, &ps);
}

void CWINButton::Draw(HDC dc) {
  RECT client;
  ::GetClientRect(window_, &client);
  const int w = client.right, h = client.bottom;
  ScopedMemoryDc mem(::CreateCompatibleDC(dc));
  if (!mem) {
    TraceLine("Create MemDc ERROR");
    return;
  }
  ScopedBitmap bmp(::CreateCompatibleBitmap(dc, w > 0 ? w : 1, h > 0 ? h : 1));
  HGDIOBJ old_bmp = ::SelectObject(mem.get(), bmp.get());
  ::SetBkMode(mem.get(), TRANSPARENT);

  char text[256] = {};
  ::GetWindowTextA(window_, text, sizeof(text));
  if (text[0]) lstrcpynA(caption_, text, sizeof(caption_));
  if (image_loaded_) {
    const int index = FrameIndex();
    const RECT src = {index * w, 0, index * w + w, h};
    strip_.KeyedDraw(mem.get(), client, src);
    DrawCaption(mem.get(), client);
  } else {
    DrawBuiltIn(mem.get(), client);
  }
  ::BitBlt(dc, 0, 0, w, h, mem.get(), 0, 0, SRCCOPY);
  ::SelectObject(mem.get(), old_bmp);
  if (!::DeleteDC(mem.release())) TraceLine("DeleteDC(hdcMem) ERROR");
  if (!::DeleteObject(bmp.release())) TraceLine("DeleteObject(bmp) ERROR");
}

void CWINButton::DrawCaption(HDC dc, const RECT& area) {
  if (!caption_[0]) return;
  ::SetTextColor(dc, enabled_ ? RGB(0, 0, 0) : ::GetSysColor(COLOR_GRAYTEXT));
  RECT r = area;
  ::DrawTextA(dc, caption_, -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
}

void CWINButton::DrawBuiltIn(HDC dc, const RECT& client) {
  HGDIOBJ old_pen = ::SelectObject(dc, outline_pen_.get());
  HGDIOBJ old_brush = ::SelectObject(dc, hover_ ? hover_brush_.get() : normal_brush_.get());
  ::RoundRect(dc, client.left, client.top, client.right, client.bottom, 5, 5);

  RECT inner = client;
  ::InflateRect(&inner, -::GetSystemMetrics(SM_CXEDGE), -::GetSystemMetrics(SM_CYEDGE));
  const int height = inner.bottom - inner.top;
  for (int y = 0; y < height; ++y) {
    ScopedBrush shade(::CreateSolidBrush(BuiltInShade(BuiltInShadeForRow(y, height), hover_, focused_)));
    RECT row = {inner.left, inner.top + y, inner.right, inner.top + y + 1};
    ::FillRect(dc, &row, shade.get());
  }

  if (hover_ || focused_) {
    ScopedPen* pens = (focused_ && !hover_) ? focus_pens_ : hot_pens_;
    // Left, right, top and bottom edge, each from its first point to its second.
    const POINT edges[4][2] = {{{inner.left, inner.bottom - 1}, {inner.left, inner.top + 1}},
                               {{inner.right - 1, inner.bottom - 1}, {inner.right - 1, inner.top}},
                               {{inner.left - 1, inner.top}, {inner.right - 1, inner.top}},
                               {{inner.left, inner.bottom}, {inner.right - 1, inner.bottom}}};
    for (int i = 0; i < 4; ++i) {
      ::SelectObject(dc, pens[i].get());
      ::MoveToEx(dc, edges[i][0].x, edges[i][0].y, nullptr);
      ::LineTo(dc, edges[i][1].x, edges[i][1].y);
    }
    if (focused_ && !hover_) ::DrawFocusRect(dc, &inner);
  }
  ::SelectObject(dc, old_pen);
  ::SelectObject(dc, old_brush);

  const RECT pressed_area = {client.left + 2, client.top + 2, client.right, client.bottom};
  DrawCaption(dc, pressed_ ? pressed_area : inner);
}
