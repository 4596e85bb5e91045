// Decoding PNG bytes into straight-alpha DIBs and the three ways of drawing them.
#include "ui/image.h"

#include <gtest/gtest.h>

#include "png_writer.h"
#include "res/resource_ids.h"
#include "system/scoped_handle.h"
#include "ui/gdiplus_session.h"
#include "ui/image_dc_pool.h"

namespace {

const Rgba kMagentaOpaque = {255, 0, 255, 255};
const Rgba kMagentaClear = {255, 0, 255, 0};

// A 32-bit top-down DIB the tests draw into and read back.
class Canvas {
 public:
  Canvas(int w, int h, COLORREF fill) : w_(w), h_(h) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    bmp_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits_, nullptr, 0));
    dc_.reset(::CreateCompatibleDC(nullptr));
    old_ = ::SelectObject(dc_.get(), bmp_.get());
    ScopedBrush brush(::CreateSolidBrush(fill));
    RECT r = {0, 0, w, h};
    ::FillRect(dc_.get(), &r, brush.get());
  }
  ~Canvas() { ::SelectObject(dc_.get(), old_); }
  HDC dc() const { return dc_.get(); }
  COLORREF At(int x, int y) const {
    ::GdiFlush();
    const uint8_t* p = static_cast<const uint8_t*>(bits_) + (y * w_ + x) * 4;
    return RGB(p[2], p[1], p[0]);
  }

 private:
  int w_, h_;
  void* bits_ = nullptr;
  ScopedBitmap bmp_;
  ScopedMemoryDc dc_;
  HGDIOBJ old_ = nullptr;
};

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

bool Load(CImage* image, int w, int h, const std::vector<Rgba>& px) {
  const std::string png = EncodeRgbaPng(w, h, px);
  return image->LoadFromMemory(png.data(), png.size());
}

}  // namespace

TEST(CImage, DecodesStraightRgbaBottomUp) {
  CImage image;
  const std::vector<Rgba> px = {{10, 20, 30, 255}, {200, 100, 50, 128},
                                {0, 0, 0, 0},      {255, 0, 255, 0}};
  ASSERT_TRUE(Load(&image, 2, 2, px));
  EXPECT_EQ(2, image.GetWidth());
  EXPECT_EQ(2, image.GetHeight());
  EXPECT_TRUE(image.HasAlpha());
  EXPECT_EQ(-8, image.GetPitch());
  EXPECT_EQ(RGB(10, 20, 30), image.GetPixel(0, 0));
  // Colour stays as stored (not premultiplied by its alpha of 128).
  EXPECT_EQ(RGB(200, 100, 50), image.GetPixel(1, 0));
  EXPECT_EQ(128, image.PixelBytes(1, 0)[3]);
  EXPECT_EQ(RGB(255, 0, 255), image.GetPixel(1, 1));
  EXPECT_EQ(CLR_INVALID, image.GetPixel(2, 0));
  EXPECT_EQ(CLR_INVALID, image.GetPixel(0, -1));
}

TEST(CImage, BadInputLeavesTheImageEmpty) {
  const std::string good = EncodeRgbaPng(1, 1, {{1, 2, 3, 255}});
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", std::string()},
      {"not a picture", std::string("hello, world")},
      {"cut short", good.substr(0, good.size() / 2)},
      {"signature only", good.substr(0, 8)},
      {"wider than any picture", EncodePng(kMaxImageSide + 1, 1, 0, 8, "")},
      // A valid picture, but decoding it would take 100 MB.
      {"more pixels than any picture", EncodePng(5000, 5000, 0, 8, "")},
      {"zero height", EncodePng(1, 0, 2, 8, "")},
      {"indexed without a palette", EncodePng(1, 1, 3, 8, Bytes({0}))},
      {"palette of 257 colours", EncodePng(1, 1, 3, 8, Bytes({0}), std::string(257 * 3, '\x10'))},
  };
  for (const auto& c : cases) {
    CImage image;
    EXPECT_FALSE(image.LoadFromMemory(c.bytes.data(), c.bytes.size())) << c.name;
    EXPECT_TRUE(image.IsNull()) << c.name;
    // Drawing an empty image draws nothing and does not crash.
    Canvas canvas(2, 2, RGB(1, 2, 3));
    EXPECT_FALSE(image.AlphaDraw(canvas.dc()));
    EXPECT_EQ(RGB(1, 2, 3), canvas.At(0, 0));
  }
  CImage image;
  EXPECT_FALSE(image.LoadFromResource(::GetModuleHandleA(nullptr), IDB_BACKGROUND));  // not in the test program
  EXPECT_TRUE(image.IsNull());
}

// Pictures without alpha keep the depth GDI takes (24 bits, indexed with
// their palette); the others become 32 bits. Every pixel reads back and
// draws as stored, and keyed drawing leaves magenta out at any depth.
TEST(CImage, DecodesPicturesWithoutAlpha) {
  const std::string rgb = Bytes({255, 0, 255, 10, 20, 30, 200, 100, 50});
  const std::string three = Bytes({255, 0, 255, 10, 20, 30, 200, 100, 50});  // PLTE
  const COLORREF kColours[3] = {kKeyColour, RGB(10, 20, 30), RGB(200, 100, 50)};
  const struct {
    const char* name;
    std::string png;
    int bpp;  // 0: depth and alpha are the decoder's choice (Wine's is 32-bit ARGB for grey)
    std::vector<COLORREF> pixels;
  } cases[] = {
      {"24-bit", EncodePng(3, 1, 2, 8, rgb), 24, {kColours, kColours + 3}},
      {"48-bit", EncodePng(1, 1, 2, 16, Bytes({0xFF, 0xFF, 0, 0, 0xFF, 0xFF})), 0, {kKeyColour}},
      {"8-bit palette", EncodePng(3, 1, 3, 8, Bytes({0, 1, 2}), three), 8, {kColours, kColours + 3}},
      {"4-bit palette", EncodePng(3, 1, 3, 4, Bytes({0x01, 0x20}), three), 0, {kColours, kColours + 3}},
      // Nine pixels cross a byte boundary.
      {"1-bit palette", EncodePng(9, 1, 3, 1, Bytes({0xAA, 0x80}), three.substr(3, 6)), 0,
       {RGB(200, 100, 50), RGB(10, 20, 30), RGB(200, 100, 50), RGB(10, 20, 30), RGB(200, 100, 50),
        RGB(10, 20, 30), RGB(200, 100, 50), RGB(10, 20, 30), RGB(200, 100, 50)}},
      {"8-bit grey", EncodePng(3, 1, 0, 8, Bytes({0, 128, 255})), 0,
       {RGB(0, 0, 0), RGB(128, 128, 128), RGB(255, 255, 255)}},
      {"16-bit grey", EncodePng(2, 1, 0, 16, Bytes({0x80, 0x80, 0xFF, 0xFF})), 0,
       {RGB(128, 128, 128), RGB(255, 255, 255)}},
      {"1-bit grey", EncodePng(2, 1, 0, 1, Bytes({0x40})), 0, {RGB(0, 0, 0), RGB(255, 255, 255)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CImage image;
    ASSERT_TRUE(image.LoadFromMemory(c.png.data(), c.png.size()));
    const int w = static_cast<int>(c.pixels.size());
    ASSERT_EQ(w, image.GetWidth());
    if (c.bpp) {
      EXPECT_EQ(c.bpp, image.GetBPP());
      EXPECT_FALSE(image.HasAlpha());
    }
    if (image.GetBPP() <= 8) {
      EXPECT_LE(image.GetPaletteSize(), 1 << image.GetBPP());
    }
    Canvas whole(w, 1, RGB(7, 7, 7)), keyed(w, 1, RGB(7, 7, 7));
    ASSERT_TRUE(image.AlphaDraw(whole.dc()));
    const RECT r = {0, 0, w, 1};
    ASSERT_TRUE(image.KeyedDraw(keyed.dc(), r, r));
    for (int x = 0; x < w; ++x) {
      EXPECT_EQ(c.pixels[x], image.GetPixel(x, 0)) << x;
      EXPECT_EQ(c.pixels[x], whole.At(x, 0)) << x;
      EXPECT_EQ(c.pixels[x] == kKeyColour ? RGB(7, 7, 7) : c.pixels[x], keyed.At(x, 0)) << x;
    }
  }
}

TEST(CImage, TransparentColourLeavesItsPixelsOutOfTheWholePicture) {
  const std::string png = EncodePng(3, 1, 2, 8, Bytes({1, 2, 3, 255, 0, 255, 4, 5, 6}));
  CImage image;
  ASSERT_TRUE(image.LoadFromMemory(png.data(), png.size()));
  EXPECT_EQ(CLR_INVALID, image.GetTransparentColor());  // none unless set
  image.SetTransparentColor(RGB(1, 2, 3));
  Canvas canvas(3, 1, RGB(7, 7, 7));
  ASSERT_TRUE(image.AlphaDraw(canvas.dc()));
  EXPECT_EQ(RGB(7, 7, 7), canvas.At(0, 0));
  EXPECT_EQ(kKeyColour, canvas.At(1, 0));  // only the chosen colour is left out
  EXPECT_EQ(RGB(4, 5, 6), canvas.At(2, 0));
}

TEST(CImage, ReloadReplacesThePicture) {
  CImage image;
  ASSERT_TRUE(Load(&image, 1, 1, {{1, 1, 1, 255}}));
  ASSERT_TRUE(Load(&image, 3, 2, std::vector<Rgba>(6, {9, 8, 7, 255})));
  EXPECT_EQ(3, image.GetWidth());
  EXPECT_EQ(RGB(9, 8, 7), image.GetPixel(2, 1));
}

TEST(CImage, AlphaDrawOnBlackShowsStoredColours) {
  CImage image;
  const std::vector<Rgba> px = {{200, 100, 50, 255}, {200, 100, 50, 128}, {60, 70, 80, 0}};
  ASSERT_TRUE(Load(&image, 3, 1, px));
  Canvas canvas(3, 1, RGB(0, 0, 0));
  ASSERT_TRUE(image.AlphaDraw(canvas.dc()));
  for (int x = 0; x < 3; ++x)
    EXPECT_EQ(RGB(px[x].r, px[x].g, px[x].b), canvas.At(x, 0)) << x;
}

TEST(CImage, AlphaDrawAddsColourToTheDestination) {
  CImage image;
  ASSERT_TRUE(Load(&image, 2, 1, {{100, 0, 0, 0}, {0, 0, 0, 255}}));
  Canvas canvas(2, 1, RGB(0, 100, 200));
  ASSERT_TRUE(image.AlphaDraw(canvas.dc()));
  // alpha 0: colour + destination; alpha 255: colour only.
  EXPECT_EQ(RGB(100, 100, 200), canvas.At(0, 0));
  EXPECT_EQ(RGB(0, 0, 0), canvas.At(1, 0));
}

TEST(CImage, KeyedDrawLeavesMagentaOutWhateverItsAlpha) {
  CImage image;
  const std::vector<Rgba> px = {kMagentaOpaque, kMagentaClear, {10, 20, 30, 0}, {40, 50, 60, 255}};
  ASSERT_TRUE(Load(&image, 4, 1, px));
  Canvas canvas(4, 1, RGB(7, 7, 7));
  const RECT r = {0, 0, 4, 1};
  ASSERT_TRUE(image.KeyedDraw(canvas.dc(), r, r));
  EXPECT_EQ(RGB(7, 7, 7), canvas.At(0, 0));
  EXPECT_EQ(RGB(7, 7, 7), canvas.At(1, 0));
  EXPECT_EQ(RGB(10, 20, 30), canvas.At(2, 0));  // transparent but not the key: drawn
  EXPECT_EQ(RGB(40, 50, 60), canvas.At(3, 0));
}

TEST(CImage, KeyedDrawCopiesOneFrameOfAStrip) {
  const Rgba colours[4] = {{10, 0, 0, 255}, {20, 0, 0, 255}, {30, 0, 0, 255}, {40, 0, 0, 255}};
  CImage image;
  ASSERT_TRUE(Load(&image, 8, 2, SolidStrip(2, 2, colours)));
  for (int frame = 0; frame < 4; ++frame) {
    Canvas canvas(2, 2, RGB(0, 0, 0));
    const RECT dst = {0, 0, 2, 2};
    const RECT src = {frame * 2, 0, frame * 2 + 2, 2};
    ASSERT_TRUE(image.KeyedDraw(canvas.dc(), dst, src));
    EXPECT_EQ(RGB(colours[frame].r, 0, 0), canvas.At(1, 1)) << frame;
  }
}

TEST(CImage, PlainDrawCopiesTheTopLeftCorner) {
  CImage image;
  ASSERT_TRUE(Load(&image, 3, 1, {{1, 1, 1, 0}, {2, 2, 2, 0}, {3, 3, 3, 0}}));
  const struct {
    int width;
    COLORREF at0, at1, at2;
  } cases[] = {
      {0, RGB(9, 9, 9), RGB(9, 9, 9), RGB(9, 9, 9)},  // width 0 draws nothing
      {1, RGB(9, 9, 9), RGB(1, 1, 1), RGB(9, 9, 9)},
      {2, RGB(9, 9, 9), RGB(1, 1, 1), RGB(2, 2, 2)},
      {50, RGB(9, 9, 9), RGB(1, 1, 1), RGB(2, 2, 2)},  // cut to the image and the canvas
  };
  for (const auto& c : cases) {
    Canvas canvas(3, 1, RGB(9, 9, 9));
    EXPECT_TRUE(image.PlainDraw(canvas.dc(), 1, 0, c.width, 1));
    EXPECT_EQ(c.at0, canvas.At(0, 0)) << c.width;
    EXPECT_EQ(c.at1, canvas.At(1, 0)) << c.width;
    EXPECT_EQ(c.at2, canvas.At(2, 0)) << c.width;
  }
}

TEST(ImageDcPool, KeepsAtMostFourContexts) {
  image_dc_pool::Clear();
  HDC taken[6];
  for (HDC& dc : taken) dc = image_dc_pool::Take();
  for (HDC dc : taken) ASSERT_NE(nullptr, dc);
  for (HDC dc : taken) image_dc_pool::Give(dc);
  EXPECT_EQ(4, image_dc_pool::CachedCount());
  HDC again = image_dc_pool::Take();
  EXPECT_EQ(3, image_dc_pool::CachedCount());
  image_dc_pool::Give(again);
  image_dc_pool::Clear();
  EXPECT_EQ(0, image_dc_pool::CachedCount());
}

TEST(CImage, BorrowedContextIsSharedAndReturned) {
  image_dc_pool::Clear();
  CImage image;
  ASSERT_TRUE(Load(&image, 1, 1, {{5, 6, 7, 255}}));
  HDC first = image.GetDC();
  HDC second = image.GetDC();
  EXPECT_EQ(first, second);
  EXPECT_EQ(RGB(5, 6, 7), ::GetPixel(first, 0, 0));
  image.ReleaseDC();
  EXPECT_EQ(0, image_dc_pool::CachedCount());
  image.ReleaseDC();
  EXPECT_EQ(1, image_dc_pool::CachedCount());
  image.ReleaseDC();  // one too many is ignored
  EXPECT_EQ(1, image_dc_pool::CachedCount());
  image_dc_pool::Clear();
}

TEST(GdiplusSession, ShutsDownWithTheLastImage) {
  const int before = gdiplus_session::ObjectCount();
  {
    CImage a;
    EXPECT_EQ(before + 1, gdiplus_session::ObjectCount());
    ASSERT_TRUE(Load(&a, 1, 1, {{1, 2, 3, 255}}));
    EXPECT_TRUE(gdiplus_session::IsStarted());
    {
      CImage b;
      EXPECT_EQ(before + 2, gdiplus_session::ObjectCount());
    }
    EXPECT_TRUE(gdiplus_session::IsStarted());
  }
  EXPECT_EQ(before, gdiplus_session::ObjectCount());
  if (before == 0) EXPECT_FALSE(gdiplus_session::IsStarted());
  // And starts again for the next picture.
  CImage c;
  EXPECT_TRUE(Load(&c, 1, 1, {{1, 2, 3, 255}}));
  EXPECT_EQ(RGB(1, 2, 3), c.GetPixel(0, 0));
}
