#include "core/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string HexOf(const std::string& bytes) {
  const Sha256Digest d = Sha256Of(bytes.data(), bytes.size());
  return Sha256Hex(d.data());
}

}  // namespace

TEST(Sha256, KnownDigests) {
  struct Case {
    std::string in;
    const char* hex;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopq"
       "rsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      // Lengths at the padding edges: up to 55 bytes the length still fits
      // in the last block, from 56 it takes one more.
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
      {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
  };
  // Both transforms: the SHA extensions one (where the CPU has it) and the portable one.
  for (bool portable : {false, true}) {
    Sha256ForcePortableForTesting(portable);
    for (const Case& c : cases) EXPECT_EQ(HexOf(c.in), c.hex) << c.in.size() << " portable " << portable;
  }
  Sha256ForcePortableForTesting(false);
}

// Every split point of messages around the block edges, in two pieces and
// then in three (a piece that fills the buffer exactly, then whole blocks).
TEST(Sha256, SplitUpdatesGiveTheOneShotDigest) {
  for (bool portable : {false, true}) {
  Sha256ForcePortableForTesting(portable);
  SCOPED_TRACE(portable ? "portable" : "fastest");
  for (size_t length : {1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 127u, 128u, 129u, 200u}) {
    std::string data;
    for (size_t i = 0; i < length; ++i) data += static_cast<char>(i * 13 + 5);
    const Sha256Digest whole = Sha256Of(data.data(), data.size());
    Sha256 ctx;
    for (size_t split = 0; split <= length; ++split) {
      ctx.Update(data.data(), split);
      ctx.Update(data.data() + split, length - split);
      EXPECT_EQ(ctx.Final(), whole) << length << " at " << split;
      const size_t second = std::min(length, split + 64);
      ctx.Update(data.data(), split);
      ctx.Update(data.data() + split, second - split);
      ctx.Update(data.data() + second, length - second);
      EXPECT_EQ(ctx.Final(), whole) << length << " at " << split << " and " << second;
    }
  }
  // Byte by byte across many blocks, and Final leaves the object ready.
  const std::string many(1000, 'x');
  Sha256 ctx;
  for (char c : many) ctx.Update(&c, 1);
  EXPECT_EQ(ctx.Final(), Sha256Of(many.data(), many.size()));
  ctx.Update("abc", 3);
  unsigned char d[kSha256Size];
  ctx.Final(d);
  EXPECT_EQ(Sha256Hex(d), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  }
  Sha256ForcePortableForTesting(false);
}
