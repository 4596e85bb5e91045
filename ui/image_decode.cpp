#include "ui/image_decode.h"

#include <objidl.h>
#include <propidl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
using std::max;
using std::min;
#include <gdiplus.h>

#include "ui/gdiplus_session.h"
#include "ui/image.h"

namespace image_decode {
namespace {

// Bytes in one DIB row: width * bpp bits rounded up to whole 32-bit words.
int DibStride(int width, int bpp) { return ((width * bpp + 31) / 32) * 4; }

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

// False when the bytes are a PNG whose header claims a size beyond the limits,
// so that such a picture is refused before the decoder allocates for it.
bool ClaimedSizeAllowed(const void* bytes, size_t size) {
  uint32_t width = 0, height = 0;
  return !PngHeaderSize(static_cast<const uint8_t*>(bytes), size, &width, &height) ||
         SizeAllowed(width, height);
}

// A stream over a copy of the bytes; the stream owns the block and frees it on release.
bool StreamOverCopy(const void* bytes, size_t size, ScopedComPtr<IStream>* stream) {
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block) return false;
  void* dst = ::GlobalLock(block);
  if (!dst) {
    ::GlobalFree(block);
    return false;
  }
  std::memcpy(dst, bytes, size);
  ::GlobalUnlock(block);
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, stream->receive()))) {
    ::GlobalFree(block);
    return false;
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

bool ReadSizeAndFormat(Gdiplus::GpBitmap* bitmap, UINT* width, UINT* height,
                       Gdiplus::PixelFormat* format) {
  using namespace Gdiplus;
  return DllExports::GdipGetImageWidth(bitmap, width) == Ok &&
         DllExports::GdipGetImageHeight(bitmap, height) == Ok &&
         DllExports::GdipGetImagePixelFormat(bitmap, format) == Ok;
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

// Copies the locked top-down rows into the bottom-up DIB; 32-bit pictures
// without alpha get opaque alpha bytes.
void CopyRows(const Gdiplus::BitmapData& data, const DecodedPicture& picture) {
  const size_t row_bytes = (static_cast<size_t>(picture.width) * picture.bpp + 7) / 8;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* src = static_cast<const uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
    uint8_t* out = static_cast<uint8_t*>(picture.bits) +
                   static_cast<ptrdiff_t>(picture.height - 1 - y) * picture.stride;
    std::memcpy(out, src, row_bytes);
    if (picture.bpp == 32 && !picture.alpha) {
      for (size_t x = 0; x < row_bytes; x += 4) out[x + 3] = 0xFF;
    }
  }
}

// Reads the decoded pixels in `target` format into a new DIB of depth `bpp`.
bool CopyIntoDib(Gdiplus::GpBitmap* decoded, Gdiplus::PixelFormat target, int bpp,
                 DecodedPicture* picture) {
  using namespace Gdiplus;
  GpRect rect(0, 0, picture->width, picture->height);
  BitmapData data = {};
  if (DllExports::GdipBitmapLockBits(decoded, &rect, ImageLockModeRead, target, &data) != Ok)
    return false;
  picture->bitmap.reset(
      CreateDib(picture->width, picture->height, bpp, picture->palette, &picture->bits));
  const bool made = picture->bitmap && picture->bits;
  if (made) {
    picture->bpp = bpp;
    picture->stride = DibStride(picture->width, bpp);
    picture->alpha = target == PixelFormat32bppARGB;
    CopyRows(data, *picture);
  }
  DllExports::GdipBitmapUnlockBits(decoded, &data);
  return made;
}

}  // namespace

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

bool Decode(const void* bytes, size_t size, DecodedPicture* picture) {
  if (!bytes || size == 0 || !ClaimedSizeAllowed(bytes, size)) return false;
  ScopedComPtr<IStream> stream;
  if (!StreamOverCopy(bytes, size, &stream)) return false;
  if (!gdiplus_session::EnsureStarted()) return false;

  using namespace Gdiplus;
  GpBitmapOwner decoded;
  if (DllExports::GdipCreateBitmapFromStream(stream.get(), &decoded.p) != Ok || !decoded.p)
    return false;
  UINT width = 0, height = 0;
  PixelFormat format = 0;
  if (!ReadSizeAndFormat(decoded.p, &width, &height, &format) || !SizeAllowed(width, height))
    return false;

  DecodedPicture result;
  result.width = static_cast<int>(width);
  result.height = static_cast<int>(height);
  PixelFormat target = 0;
  const int bpp = TargetDepth(format, &target);
  if (bpp <= 8 && !ReadPalette(decoded.p, bpp, &result.palette)) return false;
  if (!CopyIntoDib(decoded.p, target, bpp, &result)) return false;
  *picture = std::move(result);
  return true;
}

}  // namespace image_decode
