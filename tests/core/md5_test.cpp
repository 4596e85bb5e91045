#include "core/md5.h"

#include <gtest/gtest.h>

#include <string>

TEST(Md5, Rfc1321TestSuite) {
  struct Case {
    const char* in;
    const char* hex;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Md5OfBytes(c.in, std::string(c.in).size()), c.hex) << c.in;
  }
}

// Messages whose length sits at the padding edges: 55 bytes still take the
// length in the same block, 56 need a second block.
TEST(Md5, PaddingEdgeLengths) {
  struct Case {
    size_t length;
    const char* hex;
  } cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
      {57, "652b906d60af96844ebd21b674f35e93"},  {63, "b06521f39153d618550606be297466d5"},
      {64, "014842d480b571495a4a0363793f7367"},  {119, "8a7bd0732ed6a28ce75f6dabc90e1613"},
      {120, "5f61c0ccad4cac44c75ff505e1f1e537"},
  };
  for (const Case& c : cases) {
    const std::string in(c.length, 'a');
    EXPECT_EQ(Md5OfBytes(in.data(), in.size()), c.hex) << c.length;
  }
}

TEST(Md5, UpdatesAcrossBlockBoundariesGiveTheSameDigest) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data += static_cast<char>(i * 7 + 3);
  const std::string whole = Md5OfBytes(data.data(), data.size());
  // Split at every offset around the 64-byte block edges and in odd pieces.
  for (size_t step : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 127u, 999u}) {
    MD5_CTX ctx;
    for (size_t i = 0; i < data.size(); i += step)
      ctx.Update(data.data() + i, std::min(step, data.size() - i));
    unsigned char d[16];
    ctx.Final(d);
    EXPECT_EQ(Md5Hex(d), whole) << step;
    // Final resets: the same object hashes a new message at once.
    ctx.Update("abc", 3);
    ctx.Final(d);
    EXPECT_EQ(Md5Hex(d), "900150983cd24fb0d6963f7d28e17f72");
  }
}

TEST(Md5, HexUsesTwoLowercaseDigitsPerByte) {
  unsigned char d[16] = {0x00, 0x01, 0x0a, 0x0f, 0x10, 0xab, 0xcd, 0xef,
                         0xff, 0x7f, 0x80, 0x09, 0x90, 0xa0, 0x0b, 0xb0};
  EXPECT_EQ(Md5Hex(d), "00010a0f10abcdefff7f800990a00bb0");
}
