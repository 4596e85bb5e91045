#include "core/hex_text.h"

#include <gtest/gtest.h>

TEST(HexText, ReadsOnlyExactLowercaseDigits) {
  struct Case {
    const char* text;
    size_t size;
    bool ok;
  } cases[] = {
      {"00ff7f80a0", 5, true}, {"", 0, true},           {"00FF7F80A0", 5, false},
      {"00ff7f80a", 5, false}, {"00ff7f80a00", 5, false}, {"00ff7f80ag", 5, false},
      {"0 ff7f80a0", 5, false}, {"+0ff7f80a0", 5, false},
  };
  for (const Case& c : cases) {
    unsigned char out[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(ParseLowerHex(c.text, out, c.size), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(LowerHex(out, c.size), c.text);
    } else {
      EXPECT_EQ(out[0], 1) << "changed on failure: " << c.text;
    }
  }
}
