// Win32Dialog: painting. The whole client area is composed in a memory
// device context (background, the page's picture, the page's drawing) and
// copied to the window in one TransparentBlt with magenta as the key.
#include "ui/win32_dialog.h"

#include "brand_colours.h"  // generated from the brand file (res/art.cmake)

#include "core/gbk_text.h"
#include "core/window_rules.h"
#include "ui/dialog_fonts.h"

namespace {

// The window's own texts take the brand's colours like the artwork does.
constexpr COLORREF ColourOf(const BrandColour& c) { return RGB(c.r, c.g, c.b); }
const COLORREF kGold = ColourOf(kBrandGoldText);
const COLORREF kCustomText = ColourOf(kBrandCreamText);
const COLORREF kInstallingText = ColourOf(kBrandStatusText);

void DrawTextIn(HDC dc, const std::string& text, RECT rect, UINT align) {
  if (text.empty()) return;
  ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              align | DT_SINGLELINE | DT_NOPREFIX);
}

// A picture at (0, 0) at its own size, magenta left out.
void DrawKeyed(HDC dc, const CImage& picture) {
  if (picture.IsNull()) return;
  RECT r = {0, 0, picture.GetWidth(), picture.GetHeight()};
  picture.KeyedDraw(dc, r, r);
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

// What each page draws over the background and its picture, with the small
// font and white text selected.
struct Win32Dialog::Painter {
  static void MainPage(const Win32Dialog& d, HDC dc) {
    FontScope font(dc, MakeTextFont());
    ::SetTextColor(dc, kGold);
    DrawTextIn(dc, d.agreement_text_, kAgreementTextRect, DT_LEFT);
  }

  static void CustomPage(const Win32Dialog& d, HDC dc) {
    {
      FontScope font(dc, MakeTextFont());
      ::SetTextColor(dc, kCustomText);
      DrawTextIn(dc, "安装路径:", kPathLabelRect, DT_LEFT);
      const std::string space =
          gbk::Format("所需空间：%s(可用空间：%s)", FormatKbUnits(d.required_kb_).c_str(),
                      FormatKbUnits(d.free_kb_).c_str());
      DrawTextIn(dc, space, kSpaceTextRect, DT_LEFT);
    }
    FontScope title(dc, MakeTitleFont());
    ::SetTextColor(dc, kGold);
    DrawTextIn(dc, "自定义安装", kCustomTitleRect, DT_LEFT);
  }

  static void InstallingPage(const Win32Dialog& d, HDC dc) {
    DrawKeyed(dc, d.slides_[d.slide_index_]);
    ::SetTextColor(dc, kInstallingText);
    DrawTextIn(dc, d.status_text_, kStatusRect, DT_LEFT);
    DrawTextIn(dc, PercentText(d.state_, d.percent_), kPercentRect, DT_RIGHT);
    const CImage& track = d.bar_background_;
    const CImage& fill = d.bar_fill_;
    track.PlainDraw(dc, kBarTrackAt.x, kBarTrackAt.y, track.GetWidth(), track.GetHeight());
    fill.PlainDraw(dc, kBarFillAt.x, kBarFillAt.y,
                   ProgressFillWidth(d.percent_, track.GetWidth(), fill.GetWidth()),
                   fill.GetHeight());
    DrawTextIn(dc, SpeedText(d.state_, d.speed_), kSpeedRect, DT_LEFT);
  }

  // One drawing per page, in DialogPage order.
  using PageDrawing = void (*)(const Win32Dialog&, HDC);
  static constexpr PageDrawing kDrawings[] = {&MainPage, &CustomPage, &InstallingPage};
  static_assert(sizeof(kDrawings) / sizeof(kDrawings[0]) == kPageCount,
                "every page of kPages needs its drawing");

  static void Page(const Win32Dialog& d, HDC dc) {
    const auto index = static_cast<std::size_t>(d.page_);
    if (index >= kPageCount) return;
    DrawKeyed(dc, d.page_pictures_[index]);
    kDrawings[index](d, dc);
  }
};

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
    Painter::Page(*this, mem.get());
  }
  ::TransparentBlt(dc, 0, 0, w, h, mem.get(), 0, 0, w, h, kKeyColour);
  ::SelectObject(mem.get(), old_bmp);
}
