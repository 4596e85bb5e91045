// Drawing from a CImage's DIB: the borrowed memory DC and the blits.
#include "ui/image.h"

#include <algorithm>

#include "ui/image_dc_pool.h"
#include "ui/image_dib.h"

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
    key_bitmap_ = image_dib::Create(width_, height_, 32, {}, &bits);
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
