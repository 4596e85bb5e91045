// The main window's fonts: code page 936 (GB2312), proof quality, fixed
// pitch, modern family. The caller owns the font it gets.
#pragma once

#include <windows.h>

inline HFONT MakeDialogFont(int height, int width, int weight, const char* face) {
  return ::CreateFontA(height, width, 0, 0, weight, FALSE, FALSE, FALSE, GB2312_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                       FIXED_PITCH | FF_MODERN, face);
}
// Path edit, agreement text, custom page texts.
inline HFONT MakeTextFont() { return MakeDialogFont(14, 7, FW_NORMAL, "宋体"); }
// Installing page texts; the default while a page draws.
inline HFONT MakeSmallFont() { return MakeDialogFont(12, 6, FW_NORMAL, "宋体"); }
// Custom page title.
inline HFONT MakeTitleFont() { return MakeDialogFont(18, 9, FW_BOLD, "方正粗圆简体"); }
