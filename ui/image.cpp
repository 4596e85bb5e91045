#include "ui/image.h"

#include <objidl.h>
#include <propidl.h>

#include <algorithm>
#include <cstring>
using std::max;
using std::min;
#include <gdiplus.h>

#include "system/scoped_handle.h"
#include "ui/gdiplus_session.h"
#include "ui/image_dc_pool.h"

namespace {

constexpr LANGID kChineseSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 2052

// A bottom-up 32-bit DIB section.
HBITMAP CreateDib32(int width, int height, void** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // positive: bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
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
    ::SelectObject(dc_, oldBitmap_);
    image_dc_pool::Give(dc_);
    dc_ = nullptr;
    oldBitmap_ = nullptr;
    dcUses_ = 0;
  }
  if (bitmap_) ::DeleteObject(bitmap_);
  if (keyBitmap_) ::DeleteObject(keyBitmap_);
  bitmap_ = nullptr;
  keyBitmap_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = pitch_ = 0;
  hasAlpha_ = false;
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
  if (width == 0 || height == 0 || width > 32767 || height > 32767) return false;

  // Every picture becomes 32 bits per pixel; formats with alpha keep it straight.
  const bool alpha = IsAlphaPixelFormat(format) != FALSE;
  const PixelFormat target = alpha ? PixelFormat32bppARGB : PixelFormat32bppRGB;

  GpRect rect(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  BitmapData data = {};
  if (DllExports::GdipBitmapLockBits(decoded.p, &rect, ImageLockModeRead, target, &data) != Ok)
    return false;

  void* bits = nullptr;
  HBITMAP dib = CreateDib32(static_cast<int>(width), static_cast<int>(height), &bits);
  if (!dib || !bits) {
    DllExports::GdipBitmapUnlockBits(decoded.p, &data);
    if (dib) ::DeleteObject(dib);
    return false;
  }
  const int row_bytes = static_cast<int>(width) * 4;
  for (UINT y = 0; y < height; ++y) {
    const uint8_t* src = static_cast<const uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
    uint8_t* out = static_cast<uint8_t*>(bits) + static_cast<ptrdiff_t>(height - 1 - y) * row_bytes;
    std::memcpy(out, src, row_bytes);
    if (!alpha) {
      for (int x = 0; x < row_bytes; x += 4) out[x + 3] = 0xFF;
    }
  }
  DllExports::GdipBitmapUnlockBits(decoded.p, &data);

  bitmap_ = dib;
  bits_ = bits;
  width_ = static_cast<int>(width);
  height_ = static_cast<int>(height);
  pitch_ = -row_bytes;
  hasAlpha_ = alpha;
  return true;
}

HDC CImage::GetDC() const {
  if (!bitmap_) return nullptr;
  if (dcUses_++ == 0) {
    dc_ = image_dc_pool::Take();
    if (!dc_) {
      dcUses_ = 0;
      return nullptr;
    }
    oldBitmap_ = ::SelectObject(dc_, bitmap_);
  }
  return dc_;
}

void CImage::ReleaseDC() const {
  if (dcUses_ <= 0) return;
  if (--dcUses_ == 0) {
    ::SelectObject(dc_, oldBitmap_);
    image_dc_pool::Give(dc_);
    dc_ = nullptr;
    oldBitmap_ = nullptr;
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
  BorrowedDc src(*this);
  if (!src.get()) return false;
  if (!hasAlpha_) return ::BitBlt(dc, 0, 0, width_, height_, src.get(), 0, 0, SRCCOPY) != FALSE;
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  return ::AlphaBlend(dc, 0, 0, width_, height_, src.get(), 0, 0, width_, height_, blend) != FALSE;
}

bool CImage::KeyedDraw(HDC dc, const RECT& dst, const RECT& src_rect) const {
  if (IsNull() || !dc) return false;
  const int dw = dst.right - dst.left, dh = dst.bottom - dst.top;
  const int sw = src_rect.right - src_rect.left, sh = src_rect.bottom - src_rect.top;
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return true;
  if (!keyBitmap_) {
    void* bits = nullptr;
    keyBitmap_ = CreateDib32(width_, height_, &bits);
    if (!keyBitmap_ || !bits) return false;
    const size_t count = static_cast<size_t>(width_) * height_;
    const uint32_t* from = static_cast<const uint32_t*>(bits_);
    uint32_t* to = static_cast<uint32_t*>(bits);
    for (size_t i = 0; i < count; ++i) to[i] = from[i] & 0x00FFFFFFu;
  }
  HDC src = image_dc_pool::Take();
  if (!src) return false;
  HGDIOBJ old = ::SelectObject(src, keyBitmap_);
  const bool ok = ::TransparentBlt(dc, dst.left, dst.top, dw, dh, src, src_rect.left, src_rect.top,
                                   sw, sh, kKeyColour) != FALSE;
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
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return nullptr;
  const int row_bytes = width_ * 4;
  return static_cast<const uint8_t*>(bits_) + static_cast<ptrdiff_t>(height_ - 1 - y) * row_bytes +
         x * 4;
}

COLORREF CImage::GetPixel(int x, int y) const {
  const uint8_t* p = PixelBytes(x, y);
  if (!p) return CLR_INVALID;
  return RGB(p[2], p[1], p[0]);
}
