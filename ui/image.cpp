#include "ui/image.h"

#include <objidl.h>
#include <propidl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
using std::max;
using std::min;
#include <gdiplus.h>

#include "system/scoped_handle.h"
#include "ui/gdiplus_session.h"
#include "ui/image_dc_pool.h"

namespace {

constexpr LANGID kChineseSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 2052

int DibStride(int width, int bpp) { return ((width * bpp + 31) / 32) * 4; }

// A bottom-up DIB section; indexed depths get `table` as their colour table,
// padded with black to the full 2^bpp entries so that no pixel value points
// past it.
HBITMAP CreateDib(int width, int height, int bpp, const std::vector<RGBQUAD>& table, void** bits) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info = {};
  info.header.biSize = sizeof(info.header);
  info.header.biWidth = width;
  info.header.biHeight = height;  // positive: bottom-up
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(bpp);
  info.header.biCompression = BI_RGB;
  if (bpp <= 8) {
    info.header.biClrUsed = 1u << bpp;
    std::copy(table.begin(), table.begin() + std::min<size_t>(table.size(), 1u << bpp), info.colours);
  }
  return ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, bits,
                            nullptr, 0);
}

HBITMAP CreateDib32(int width, int height, void** bits) {
  return CreateDib(width, height, 32, {}, bits);
}

bool SizeAllowed(uint64_t width, uint64_t height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= static_cast<uint64_t>(kMaxImagePixels);
}

// The size a PNG's header claims; false when the bytes do not start like a PNG.
bool PngHeaderSize(const uint8_t* p, size_t size, uint32_t* width, uint32_t* height) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (size < 24 || std::memcmp(p, kSignature, 8) != 0 || std::memcmp(p + 12, "IHDR", 4) != 0)
    return false;
  auto be32 = [](const uint8_t* b) {
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
  };
  *width = be32(p + 16);
  *height = be32(p + 20);
  return true;
}

// The pixel format a decoded picture is kept in, and its depth. GDI takes
// indexed and 24-bit pixels as they are; formats with alpha become 32 bits
// with straight alpha; everything else (grey, 16 or 48 bits) 32-bit RGB.
int TargetDepth(Gdiplus::PixelFormat source, Gdiplus::PixelFormat* target) {
  using namespace Gdiplus;
  if (IsAlphaPixelFormat(source)) {
    *target = PixelFormat32bppARGB;
    return 32;
  }
  switch (source) {
    case PixelFormat1bppIndexed: *target = source; return 1;
    case PixelFormat4bppIndexed: *target = source; return 4;
    case PixelFormat8bppIndexed: *target = source; return 8;
    case PixelFormat24bppRGB: *target = source; return 24;
    default: *target = PixelFormat32bppRGB; return 32;
  }
}

// The decoded palette as a colour table, each entry with alpha 0. Fails unless
// it has 1 to 256 entries; keeps no more than the depth can address.
bool ReadPalette(Gdiplus::GpBitmap* bitmap, int bpp, std::vector<RGBQUAD>* table) {
  using namespace Gdiplus;
  INT size = 0;
  if (DllExports::GdipGetImagePaletteSize(bitmap, &size) != Ok ||
      size < static_cast<INT>(sizeof(ColorPalette)))
    return false;
  std::vector<uint8_t> buffer(static_cast<size_t>(size));
  auto* palette = reinterpret_cast<ColorPalette*>(buffer.data());
  if (DllExports::GdipGetImagePalette(bitmap, palette, size) != Ok) return false;
  const size_t room = (buffer.size() - offsetof(ColorPalette, Entries)) / sizeof(ARGB);
  if (palette->Count < 1 || palette->Count > 256 || palette->Count > room) return false;
  const UINT used = std::min<UINT>(palette->Count, 1u << bpp);
  table->clear();
  for (UINT i = 0; i < used; ++i) {
    const ARGB c = palette->Entries[i];
    table->push_back({static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16), 0});
  }
  return true;
}

// Owns a GDI+ bitmap from the flat API.
struct GpBitmapOwner {
  Gdiplus::GpBitmap* p = nullptr;
  ~GpBitmapOwner() {
    if (p) Gdiplus::DllExports::GdipDisposeImage(p);
  }
};

}  // namespace

CImage::CImage() { gdiplus_session::AddObject(); }

CImage::~CImage() {
  Destroy();
  gdiplus_session::RemoveObject();
}

void CImage::Destroy() {
  if (dc_) {
    ::SelectObject(dc_, old_bitmap_);
    image_dc_pool::Give(dc_);
    dc_ = nullptr;
    old_bitmap_ = nullptr;
    dc_uses_ = 0;
  }
  if (bitmap_) ::DeleteObject(bitmap_);
  if (key_bitmap_) ::DeleteObject(key_bitmap_);
  bitmap_ = nullptr;
  key_bitmap_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = pitch_ = bpp_ = 0;
  has_alpha_ = false;
  palette_.clear();
}

bool CImage::LoadFromResource(HMODULE module, int id) {
  HRSRC res = ::FindResourceExA(module, "PNG", MAKEINTRESOURCEA(id), kChineseSimplified);
  if (!res) res = ::FindResourceA(module, MAKEINTRESOURCEA(id), "PNG");
  if (!res) return false;
  DWORD size = ::SizeofResource(module, res);
  HGLOBAL loaded = ::LoadResource(module, res);  // resource memory: never freed
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes || size == 0) return false;
  return LoadFromMemory(bytes, size);
}

bool CImage::LoadFromMemory(const void* bytes, size_t size) {
  Destroy();
  if (!bytes || size == 0) return false;
  uint32_t claimed_width = 0, claimed_height = 0;
  if (PngHeaderSize(static_cast<const uint8_t*>(bytes), size, &claimed_width, &claimed_height) &&
      !SizeAllowed(claimed_width, claimed_height))
    return false;

  // The stream owns the block and frees it on release.
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block) return false;
  void* dst = ::GlobalLock(block);
  if (!dst) {
    ::GlobalFree(block);
    return false;
  }
  std::memcpy(dst, bytes, size);
  ::GlobalUnlock(block);
  ScopedComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, stream.receive()))) {
    ::GlobalFree(block);
    return false;
  }

  if (!gdiplus_session::EnsureStarted()) return false;

  using namespace Gdiplus;
  GpBitmapOwner decoded;
  if (DllExports::GdipCreateBitmapFromStream(stream.get(), &decoded.p) != Ok || !decoded.p)
    return false;
  UINT width = 0, height = 0;
  PixelFormat format = 0;
  if (DllExports::GdipGetImageWidth(decoded.p, &width) != Ok ||
      DllExports::GdipGetImageHeight(decoded.p, &height) != Ok ||
      DllExports::GdipGetImagePixelFormat(decoded.p, &format) != Ok)
    return false;
  if (!SizeAllowed(width, height)) return false;

  PixelFormat target = 0;
  const int bpp = TargetDepth(format, &target);
  const bool alpha = target == PixelFormat32bppARGB;
  std::vector<RGBQUAD> palette;
  if (bpp <= 8 && !ReadPalette(decoded.p, bpp, &palette)) return false;

  GpRect rect(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  BitmapData data = {};
  if (DllExports::GdipBitmapLockBits(decoded.p, &rect, ImageLockModeRead, target, &data) != Ok)
    return false;

  void* bits = nullptr;
  HBITMAP dib = CreateDib(static_cast<int>(width), static_cast<int>(height), bpp, palette, &bits);
  if (!dib || !bits) {
    DllExports::GdipBitmapUnlockBits(decoded.p, &data);
    if (dib) ::DeleteObject(dib);
    return false;
  }
  const int stride = DibStride(static_cast<int>(width), bpp);
  const size_t row_bytes = (static_cast<size_t>(width) * bpp + 7) / 8;
  for (UINT y = 0; y < height; ++y) {
    const uint8_t* src = static_cast<const uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
    uint8_t* out = static_cast<uint8_t*>(bits) + static_cast<ptrdiff_t>(height - 1 - y) * stride;
    std::memcpy(out, src, row_bytes);
    if (bpp == 32 && !alpha) {
      for (size_t x = 0; x < row_bytes; x += 4) out[x + 3] = 0xFF;
    }
  }
  DllExports::GdipBitmapUnlockBits(decoded.p, &data);

  bitmap_ = dib;
  bits_ = bits;
  width_ = static_cast<int>(width);
  height_ = static_cast<int>(height);
  pitch_ = -stride;
  bpp_ = bpp;
  has_alpha_ = alpha;
  palette_ = std::move(palette);
  return true;
}

HDC CImage::GetDC() const {
  if (!bitmap_) return nullptr;
  if (dc_uses_++ == 0) {
    dc_ = image_dc_pool::Take();
    if (!dc_) {
      dc_uses_ = 0;
      return nullptr;
    }
    old_bitmap_ = ::SelectObject(dc_, bitmap_);
  }
  return dc_;
}

void CImage::ReleaseDC() const {
  if (dc_uses_ <= 0) return;
  if (--dc_uses_ == 0) {
    ::SelectObject(dc_, old_bitmap_);
    image_dc_pool::Give(dc_);
    dc_ = nullptr;
    old_bitmap_ = nullptr;
  }
}

namespace {
// Borrows an image's DC for one drawing call.
class BorrowedDc {
 public:
  explicit BorrowedDc(const CImage& image) : image_(image), dc_(image.GetDC()) {}
  ~BorrowedDc() {
    if (dc_) image_.ReleaseDC();
  }
  HDC get() const { return dc_; }

 private:
  const CImage& image_;
  HDC dc_;
};
}  // namespace

bool CImage::AlphaDraw(HDC dc) const {
  if (IsNull() || !dc) return false;
  if (transparent_ != CLR_INVALID) {
    const RECT whole = {0, 0, width_, height_};
    return KeyedCopy(dc, whole, whole, transparent_);
  }
  BorrowedDc src(*this);
  if (!src.get()) return false;
  if (!has_alpha_) return ::BitBlt(dc, 0, 0, width_, height_, src.get(), 0, 0, SRCCOPY) != FALSE;
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  return ::AlphaBlend(dc, 0, 0, width_, height_, src.get(), 0, 0, width_, height_, blend) != FALSE;
}

bool CImage::KeyedDraw(HDC dc, const RECT& dst, const RECT& src_rect) const {
  return KeyedCopy(dc, dst, src_rect, kKeyColour);
}

bool CImage::KeyedCopy(HDC dc, const RECT& dst, const RECT& src_rect, COLORREF key) const {
  if (IsNull() || !dc) return false;
  const int dw = dst.right - dst.left, dh = dst.bottom - dst.top;
  const int sw = src_rect.right - src_rect.left, sh = src_rect.bottom - src_rect.top;
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return true;
  if (!key_bitmap_) {
    void* bits = nullptr;
    key_bitmap_ = CreateDib32(width_, height_, &bits);
    if (!key_bitmap_ || !bits) return false;
    uint32_t* to = static_cast<uint32_t*>(bits);
    for (int y = height_ - 1; y >= 0; --y) {  // bottom-up, like the picture
      for (int x = 0; x < width_; ++x) {
        const COLORREF c = GetPixel(x, y);
        *to++ = (uint32_t{GetRValue(c)} << 16) | (uint32_t{GetGValue(c)} << 8) | GetBValue(c);
      }
    }
  }
  HDC src = image_dc_pool::Take();
  if (!src) return false;
  HGDIOBJ old = ::SelectObject(src, key_bitmap_);
  const bool ok = ::TransparentBlt(dc, dst.left, dst.top, dw, dh, src, src_rect.left, src_rect.top,
                                   sw, sh, key) != FALSE;
  ::SelectObject(src, old);
  image_dc_pool::Give(src);
  return ok;
}

bool CImage::PlainDraw(HDC dc, int x, int y, int width, int height) const {
  if (IsNull() || !dc) return false;
  width = std::min(width, width_);
  height = std::min(height, height_);
  if (width <= 0 || height <= 0) return true;  // nothing to copy
  BorrowedDc src(*this);
  if (!src.get()) return false;
  return ::BitBlt(dc, x, y, width, height, src.get(), 0, 0, SRCCOPY) != FALSE;
}

const uint8_t* CImage::PixelBytes(int x, int y) const {
  if (!bits_ || bpp_ != 32 || x < 0 || y < 0 || x >= width_ || y >= height_) return nullptr;
  return static_cast<const uint8_t*>(bits_) + static_cast<ptrdiff_t>(height_ - 1 - y) * -pitch_ +
         x * 4;
}

COLORREF CImage::GetPixel(int x, int y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
  const uint8_t* row = static_cast<const uint8_t*>(bits_) + static_cast<ptrdiff_t>(height_ - 1 - y) * -pitch_;
  size_t index = 0;
  switch (bpp_) {
    case 32:
    case 24: {
      const uint8_t* p = row + static_cast<size_t>(x) * (bpp_ / 8);
      return RGB(p[2], p[1], p[0]);
    }
    case 8: index = row[x]; break;
    case 4: index = (row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F; break;
    case 1: index = (row[x / 8] >> (7 - x % 8)) & 0x01; break;
    default: return CLR_INVALID;
  }
  if (index >= palette_.size()) return RGB(0, 0, 0);  // the padding of the colour table
  const RGBQUAD& c = palette_[index];
  return RGB(c.rgbRed, c.rgbGreen, c.rgbBlue);
}
