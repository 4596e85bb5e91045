#include "ui/image.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "ui/gdiplus_session.h"
#include "ui/image_dc_pool.h"
#include "ui/image_decode.h"

namespace {

constexpr LANGID kChineseSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 2052

}  // namespace

CImage::CImage() { gdiplus_session::AddObject(); }

CImage::~CImage() {
  Destroy();
  gdiplus_session::RemoveObject();
}

void CImage::Destroy() {
  // Gives the pool its DC back however many borrowers forgot to.
  if (dc_uses_ > 0) {
    dc_uses_ = 1;
    ReleaseDC();
  }
  bitmap_.reset();
  key_bitmap_.reset();
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
  image_decode::DecodedPicture picture;
  if (!image_decode::Decode(bytes, size, &picture)) return false;
  bitmap_ = std::move(picture.bitmap);
  bits_ = picture.bits;
  width_ = picture.width;
  height_ = picture.height;
  pitch_ = -picture.stride;
  bpp_ = picture.bpp;
  has_alpha_ = picture.alpha;
  palette_ = std::move(picture.palette);
  return true;
}

const uint8_t* CImage::Row(int y) const {
  return static_cast<const uint8_t*>(bits_) + static_cast<ptrdiff_t>(height_ - 1 - y) * -pitch_;
}

const uint8_t* CImage::PixelBytes(int x, int y) const {
  if (!bits_ || bpp_ != 32 || x < 0 || y < 0 || x >= width_ || y >= height_) return nullptr;
  return Row(y) + x * 4;
}

COLORREF CImage::GetPixel(int x, int y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
  const uint8_t* row = Row(y);
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

// Drawing: the borrowed memory DC and the blits.
HDC CImage::GetDC() const {
  if (!bitmap_) return nullptr;
  if (dc_uses_++ == 0) {
    dc_ = image_dc_pool::Take();
    if (!dc_) {
      dc_uses_ = 0;
      return nullptr;
    }
    old_bitmap_ = ::SelectObject(dc_, bitmap_.get());
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
    key_bitmap_.reset(image_decode::CreateDib(width_, height_, 32, {}, &bits));
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
  HGDIOBJ old = ::SelectObject(src, key_bitmap_.get());
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
