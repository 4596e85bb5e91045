// Frame choice, window shape and built-in look of the skin button.
#include "ui/skin_rules.h"

#include <gtest/gtest.h>

#include <string>

TEST(ButtonFrameIndex, DisabledThenPressedThenHotThenNormal) {
  const struct {
    bool enabled, pressed, hovered, focused;
    int frame;
  } cases[] = {
      {true, false, false, false, 0}, {true, false, true, false, 1},  {true, false, false, true, 1},
      {true, false, true, true, 1},   {true, true, false, false, 2},  {true, true, true, false, 2},
      {true, true, true, true, 2},    {false, false, false, false, 3}, {false, true, true, true, 3},
      {false, false, true, false, 3},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.frame, ButtonFrameIndex(c.enabled, c.pressed, c.hovered, c.focused))
        << c.enabled << c.pressed << c.hovered << c.focused;
}

TEST(StripFrameWidth, QuarterRoundedDown) {
  EXPECT_EQ(46, StripFrameWidth(184));
  EXPECT_EQ(137, StripFrameWidth(548));
  EXPECT_EQ(2, StripFrameWidth(11));
  EXPECT_EQ(0, StripFrameWidth(3));
  EXPECT_EQ(0, StripFrameWidth(0));
  EXPECT_EQ(0, StripFrameWidth(-8));
}

// Pictures: 'M' is the key colour, anything else is part of the button.
// Only the first frame_width columns count.
TEST(ShapeRuns, RunsOfNonKeyPixelsInTheFirstFrame) {
  const struct {
    const char* name;
    std::vector<std::string> rows;
    int frame_width;
    std::vector<RECT> runs;
  } cases[] = {
      {"solid", {"xxx", "xxx"}, 3, {{0, 0, 3, 1}, {0, 1, 3, 2}}},
      {"key row adds nothing", {"xxx", "MMM", "xxx"}, 3, {{0, 0, 3, 1}, {0, 2, 3, 3}}},
      {"rounded corners", {"MxxM", "xxxx", "MxxM"}, 4, {{1, 0, 3, 1}, {0, 1, 4, 2}, {1, 2, 3, 3}}},
      {"two runs in a row", {"xMx"}, 3, {{0, 0, 1, 1}, {2, 0, 3, 1}}},
      {"later frames ignored", {"MxMxxxx"}, 2, {{1, 0, 2, 1}}},
      {"all key", {"MM", "MM"}, 2, {}},
      {"empty", {}, 0, {}},
  };
  for (const auto& c : cases) {
    const auto runs = ShapeRuns(c.frame_width, static_cast<int>(c.rows.size()),
                                [&](int x, int y) { return c.rows[y][x] == 'M'; });
    ASSERT_EQ(c.runs.size(), runs.size()) << c.name;
    for (size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(c.runs[i].left, runs[i].left) << c.name << " " << i;
      EXPECT_EQ(c.runs[i].top, runs[i].top) << c.name << " " << i;
      EXPECT_EQ(c.runs[i].right, runs[i].right) << c.name << " " << i;
      EXPECT_EQ(c.runs[i].bottom, runs[i].bottom) << c.name << " " << i;
    }
  }
}

TEST(BuiltInShade, ColoursByState) {
  const struct {
    int i;
    bool hovered, focused;
    COLORREF colour;
  } cases[] = {
      {0, false, false, RGB(255, 255, 255)},
      {63, false, false, RGB(234, 234, 243)},  // 255-21, 255-12
      {63, true, false, RGB(240, 240, 243)},   // 255-15
      {63, true, true, RGB(240, 240, 234)},    // blue 255-21
      {63, false, true, RGB(234, 234, 240)},   // blue 255-15
      {200, false, false, RGB(234, 234, 243)}, // clamped to the last shade
  };
  for (const auto& c : cases) EXPECT_EQ(c.colour, BuiltInShade(c.i, c.hovered, c.focused)) << c.i;
  EXPECT_EQ(0, BuiltInShadeForRow(0, 10));
  EXPECT_EQ(63, BuiltInShadeForRow(9, 10));
  EXPECT_EQ(0, BuiltInShadeForRow(0, 1));
}
