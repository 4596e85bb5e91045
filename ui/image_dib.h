// The bottom-up DIB sections pictures are kept in: the decoded picture and the
// 32-bit copy that keyed drawing blits from.
#pragma once

#include <windows.h>

#include <vector>

namespace image_dib {

// Bytes in one DIB row: width * bpp bits rounded up to whole 32-bit words.
int Stride(int width, int bpp);

// A bottom-up DIB section; indexed depths get `table` as their colour table,
// padded with black to the full 2^bpp entries so that no pixel value points
// past it. Null on failure; `*bits` points at the pixels, owned by the bitmap.
HBITMAP Create(int width, int height, int bpp, const std::vector<RGBQUAD>& table, void** bits);

}  // namespace image_dib
