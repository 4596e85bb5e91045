// CImage: one picture of the window, decoded once from a "PNG" resource (or
// from PNG bytes) into a bottom-up 32-bit DIB whose colours stay straight (not
// premultiplied). Painting only blits from the DIB; it never decodes.
// The object owns its DIB; device contexts for drawing from it are borrowed
// from a small process-wide pool (see image_dc_pool.h).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Magenta: pixels of this colour are left out by keyed drawing and by button shaping.
constexpr COLORREF kKeyColour = RGB(255, 0, 255);

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

  bool IsNull() const { return bitmap_ == nullptr; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  int GetPitch() const { return pitch_; }  // negative: bottom-up rows
  bool HasAlpha() const { return hasAlpha_; }

  // The whole image at (0, 0): per-pixel alpha blend (constant 255) when the
  // image has alpha, otherwise an opaque copy.
  bool AlphaDraw(HDC dc) const;
  // Copies `src` to `dst`, leaving magenta pixels out; alpha is ignored.
  bool KeyedDraw(HDC dc, const RECT& dst, const RECT& src) const;
  // Opaque copy of the top-left width x height pixels to (x, y).
  bool PlainDraw(HDC dc, int x, int y, int width, int height) const;
  // RGB of a pixel, alpha ignored; CLR_INVALID outside the image.
  COLORREF GetPixel(int x, int y) const;
  // Straight BGRA bytes of pixel (x, y) with y counted from the top; null outside.
  const uint8_t* PixelBytes(int x, int y) const;

  // A memory DC with this image's bitmap selected; every GetDC needs a ReleaseDC.
  HDC GetDC() const;
  void ReleaseDC() const;

 private:
  HBITMAP bitmap_ = nullptr;  // owned
  void* bits_ = nullptr;      // DIB memory, owned by bitmap_
  int width_ = 0;
  int height_ = 0;
  int pitch_ = 0;
  bool hasAlpha_ = false;
  // Copy of the picture with every alpha byte 0, made on the first keyed
  // draw: the transparent copy compares whole pixels on some systems, so
  // only a zero alpha makes the colour alone decide.
  mutable HBITMAP keyBitmap_ = nullptr;
  mutable HDC dc_ = nullptr;  // borrowed from the pool while dcUses_ > 0
  mutable HGDIOBJ oldBitmap_ = nullptr;
  mutable int dcUses_ = 0;
};
