// Pure rules of the skin button: which strip frame shows, which pixels of the
// first frame make up the button's shape, and the shades of the built-in look.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

// Frames of a strip: 0 normal, 1 hovered or focused, 2 pressed, 3 disabled.
int ButtonFrameIndex(bool enabled, bool pressed, bool hovered, bool focused);

// Width of one frame of a four-frame strip.
inline int StripFrameWidth(int strip_width) { return strip_width > 0 ? strip_width / 4 : 0; }

// One-pixel-high rectangles covering the pixels of columns 0..frame_width-1
// that are not the key colour, row by row, left to right. `is_key(x, y)`
// tells whether a pixel is the key colour.
std::vector<RECT> ShapeRuns(int frame_width, int height,
                            const std::function<bool(int x, int y)>& is_key);

// Colour of shade i (0 top .. 63 bottom) of the built-in look's gradient.
COLORREF BuiltInShade(int i, bool hovered, bool focused);
// Row y of a client height h maps to a shade 0..63.
int BuiltInShadeForRow(int y, int height);
