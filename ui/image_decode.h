// Decoding for CImage: PNG (or any GDI+-readable) bytes become the bottom-up
// DIB of the depth image.h describes; 32-bit pictures without alpha get
// opaque alpha bytes. The DIB sections are made here, for the decoded
// picture and for the 32-bit copy that keyed drawing blits from.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "system/scoped_handle.h"

namespace image_decode {

struct DecodedPicture {
  ScopedBitmap bitmap;
  void* bits = nullptr;  // DIB memory, owned by bitmap
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes a row
  int bpp = 0;     // 1, 4, 8, 24 or 32
  bool alpha = false;
  std::vector<RGBQUAD> palette;  // colour table of an indexed picture
};

// Decodes `bytes`; false for null or empty input, for pictures larger than
// kMaxImageSide / kMaxImagePixels, and when decoding fails.
bool Decode(const void* bytes, size_t size, DecodedPicture* picture);

// A bottom-up DIB section; indexed depths get `table` as their colour table,
// padded with black to the full 2^bpp entries so that no pixel value points
// past it. Null on failure; `*bits` points at the pixels, owned by the bitmap.
HBITMAP CreateDib(int width, int height, int bpp, const std::vector<RGBQUAD>& table, void** bits);

}  // namespace image_decode
