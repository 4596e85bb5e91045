#include "ui/skin_rules.h"

int ButtonFrameIndex(bool enabled, bool pressed, bool hovered, bool focused) {
  if (!enabled) return 3;
  if (pressed) return 2;
  if (hovered || focused) return 1;
  return 0;
}

std::vector<RECT> ShapeRuns(int frame_width, int height,
                            const std::function<bool(int x, int y)>& is_key) {
  std::vector<RECT> runs;
  for (int y = 0; y < height; ++y) {
    int x = 0;
    while (x < frame_width) {
      while (x < frame_width && is_key(x, y)) ++x;
      if (x >= frame_width) break;
      const int start = x;
      while (x < frame_width && !is_key(x, y)) ++x;
      runs.push_back(RECT{start, y, x, y + 1});
    }
  }
  return runs;
}

COLORREF BuiltInShade(int i, bool hovered, bool focused) {
  if (i < 0) i = 0;
  if (i > 63) i = 63;
  const int rg = 255 - (hovered ? i / 4 : i / 3);
  int b;
  if (!focused)
    b = 255 - i / 5;
  else
    b = 255 - (hovered ? i / 3 : i / 4);
  return RGB(rg, rg, b);
}

int BuiltInShadeForRow(int y, int height) {
  if (height <= 1 || y <= 0) return 0;
  if (y >= height - 1) return 63;
  return y * 63 / (height - 1);
}
