#include "ui/image.h"

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
  image_decode::DecodedPicture picture;
  if (!image_decode::Decode(bytes, size, &picture)) return false;
  bitmap_ = picture.bitmap.release();
  bits_ = picture.bits;
  width_ = picture.width;
  height_ = picture.height;
  pitch_ = -picture.stride;
  bpp_ = picture.bpp;
  has_alpha_ = picture.alpha;
  palette_ = std::move(picture.palette);
  return true;
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
