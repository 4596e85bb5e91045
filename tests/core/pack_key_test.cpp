#include "core/pack_key.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Hex(const std::array<uint8_t, 16>& key) {
  std::string s;
  char buf[3];
  for (uint8_t b : key) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    s += buf;
  }
  return s;
}

}  // namespace

TEST(DerivePackKey, ZeroBytesBecomeTheirIndexThenEveryThirdIsXored) {
  struct Case {
    const char* password;
    const char* md5;  // for the reader: the digest the rule starts from
    const char* key;
  } cases[] = {
      {"6203918547", "17939fd49164f44133145f8373929b96", "06939fc59164e54133055f8362929b87"},
      // Digest byte 6 is zero: it becomes 6, and 6 is a multiple of 3.
      {"38", "a5771bce93e200c36f7cd9dfd0e5deaa", "b4771bdf93e217c36f6dd9dfc1e5debb"},
      // Digest byte 5 is zero: it becomes 5 and is not XORed.
      {"65", "fc490ca45c00b1249bbe3554a4fdf6fb", "ed490cb55c05a0249baf3554b5fdf6ea"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(DerivePackKey(c.password)), c.key) << c.password;
}
