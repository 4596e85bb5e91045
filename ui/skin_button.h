// CWINButton: skins an existing "button" child window. The button is drawn
// from a four-frame PNG strip (normal, hovered/focused, pressed, disabled),
// shaped by the non-magenta pixels of the first frame, and keeps passing
// mouse and focus messages to its previous procedure so clicks still reach
// the parent as ordinary button notifications.
// Owns its strip, pens and brushes; restores the previous
// window procedure when destroyed.
#pragma once

#include <windows.h>

#include "system/scoped_handle.h"
#include "ui/image.h"

class CWINButton {
 public:
  CWINButton();
  virtual ~CWINButton();
  CWINButton(const CWINButton&) = delete;
  CWINButton& operator=(const CWINButton&) = delete;

  // Ties the object to `window`: property "CWINBUTTON", owner-drawn style,
  // rounded region, subclassed procedure.
  bool Attach(HWND window);
  // Loads the strip from PNG resource `id`, sizes the window to one frame and
  // shapes it. Fails (changing nothing) while the button is disabled.
  bool LoadImage(HMODULE module, int id);
  // The same from PNG bytes already in memory.
  bool LoadImageFromMemory(const void* bytes, size_t size);

  HWND hwnd() const { return window_; }
  int FrameIndex() const;
  bool image_loaded() const { return image_loaded_; }
  bool hovered() const { return hover_; }
  bool pressed() const { return pressed_; }
  bool focused() const { return focused_; }
  bool enabled() const { return enabled_; }
  const CImage& strip() const { return strip_; }

  // Written by the window right after attaching.
  bool hand_cursor = false;

 private:
  static LRESULT CALLBACK SharedProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  // Hover, press, focus and enabled state from the messages that change it.
  void UpdateState(UINT msg, WPARAM wp);
  void OnMouseMove();
  // To the previous procedure; detaches first on WM_NCDESTROY.
  LRESULT PassOn(UINT msg, WPARAM wp, LPARAM lp);
  bool FinishLoad();
  void ShapeFromStrip();
  void Repaint();
  void OnPaint();
  void Draw(HDC dc);
  void DrawBuiltIn(HDC dc, const RECT& client);
  void DrawCaption(HDC dc, const RECT& area);
  void Detach();

  HWND window_ = nullptr;  // borrowed: the parent owns the child window
  HWND parent_ = nullptr;
  WNDPROC previous_proc_ = nullptr;
  CImage strip_;
  bool hover_ = false;
  bool pressed_ = false;
  bool enabled_ = true;
  bool focused_ = false;
  bool image_loaded_ = false;
  char caption_[256] = {};
  ScopedPen outline_pen_;
  ScopedPen hot_pens_[4];    // left, right, top, bottom
  ScopedPen focus_pens_[4];  // left, right, top, bottom
  ScopedBrush hover_brush_;
  ScopedBrush normal_brush_;
};
