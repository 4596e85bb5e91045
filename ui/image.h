// CImage: one picture of the window, decoded once from a "PNG" resource (or
// from PNG bytes) into a bottom-up DIB. Pictures with alpha become 32 bits
// with straight (not premultiplied) colours; 24-bit and indexed pictures keep
// their depth (indexed ones with their palette); anything else becomes 32-bit
// RGB (image_decode.h). Painting only blits from the DIB; it never decodes.
// The object owns its DIB; device contexts for drawing from it are borrowed
// from a small process-wide pool (see image_dc_pool.h).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "system/scoped_handle.h"

// Magenta: pixels of this colour are left out by keyed drawing and by button shaping.
constexpr COLORREF kKeyColour = RGB(255, 0, 255);

// Larger pictures are refused before they are decoded: a few bytes of PNG
// header must not make the decoder allocate gigabytes.
constexpr int kMaxImageSide = 16384;
constexpr long long kMaxImagePixels = 4096LL * 4096;

class CImage {
 public:
  CImage();
  ~CImage();
  CImage(const CImage&) = delete;
  CImage& operator=(const CImage&) = delete;

  // Loads resource `id` of type "PNG" (language 2052 first, then any) from
  // `module`. On failure the image stays empty and false is returned.
  bool LoadFromResource(HMODULE module, int id);
  // Decodes PNG (or any GDI+-readable) bytes.
  bool LoadFromMemory(const void* bytes, size_t size);
  void Destroy();

  bool IsNull() const { return !bitmap_; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  int GetPitch() const { return pitch_; }  // negative: bottom-up rows
  bool HasAlpha() const { return has_alpha_; }
  int GetBPP() const { return bpp_; }  // 1, 4, 8, 24 or 32
  int GetPaletteSize() const { return static_cast<int>(palette_.size()); }
  // A colour left out when the whole picture is drawn (AlphaDraw); the
  // installer never sets one. CLR_INVALID: none.
  void SetTransparentColor(COLORREF colour) { transparent_ = colour; }
  COLORREF GetTransparentColor() const { return transparent_; }

  // The whole image at (0, 0): keyed by the transparent colour when one is
  // set, else a per-pixel alpha blend (constant 255) when the image has
  // alpha, otherwise an opaque copy.
  bool AlphaDraw(HDC dc) const;
  // Copies `src` to `dst`, leaving magenta pixels out; alpha is ignored.
  bool KeyedDraw(HDC dc, const RECT& dst, const RECT& src) const;
  // Opaque copy of the top-left width x height pixels to (x, y).
  bool PlainDraw(HDC dc, int x, int y, int width, int height) const;
  // RGB of a pixel, alpha ignored; CLR_INVALID outside the image.
  COLORREF GetPixel(int x, int y) const;
  // Straight BGRA bytes of pixel (x, y) with y counted from the top; null
  // outside and for pictures that are not 32-bit.
  const uint8_t* PixelBytes(int x, int y) const;

  // A memory DC with this image's bitmap selected; every GetDC needs a ReleaseDC.
  HDC GetDC() const;
  void ReleaseDC() const;

 private:
  // Copies src to dst leaving pixels of colour `key` out.
  bool KeyedCopy(HDC dc, const RECT& dst, const RECT& src, COLORREF key) const;
  // The bytes of row `y`, counted from the top; the caller checks `y`.
  const uint8_t* Row(int y) const;

  ScopedBitmap bitmap_;
  void* bits_ = nullptr;      // DIB memory, owned by bitmap_
  int width_ = 0;
  int height_ = 0;
  int pitch_ = 0;
  int bpp_ = 0;
  bool has_alpha_ = false;
  std::vector<RGBQUAD> palette_;  // colour table of an indexed picture
  COLORREF transparent_ = CLR_INVALID;
  // 32-bit copy of the picture with every alpha byte 0, made on the first
  // keyed draw: the transparent copy compares whole pixels on some systems,
  // so only a zero alpha makes the colour alone decide; and one depth for
  // every picture keeps palettes out of the comparison.
  mutable ScopedBitmap key_bitmap_;
  mutable HDC dc_ = nullptr;  // borrowed from the pool while dc_uses_ > 0
  mutable HGDIOBJ old_bitmap_ = nullptr;
  mutable int dc_uses_ = 0;
};
