#include "ui/image_dib.h"

#include <algorithm>
#include <cstddef>

namespace image_dib {

int Stride(int width, int bpp) { return ((width * bpp + 31) / 32) * 4; }

HBITMAP Create(int width, int height, int bpp, const std::vector<RGBQUAD>& table, void** bits) {
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

}  // namespace image_dib
