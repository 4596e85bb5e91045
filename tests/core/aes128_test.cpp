#include "core/aes128.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string FromHex(const char* hex) {
  std::string out;
  for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
    out.push_back(static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
  }
  return out;
}

uint8_t* Bytes(std::string& s) { return reinterpret_cast<uint8_t*>(&s[0]); }

}  // namespace

TEST(Aes128, KnownAnswerVectors) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher;
  } cases[] = {
      // FIPS-197 appendix C.1 and appendix B.
      {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
       "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
       "3925841d02dc09fbdc118597196a0b32"},
      // SP 800-38A, ECB-AES128 blocks 1 and 4.
      {"2b7e151628aed2a6abf7158809cf4f3c", "6bc1bee22e409f96e93d7e117393172a",
       "3ad77bb40d7a3660a89ecaf32466ef97"},
      {"2b7e151628aed2a6abf7158809cf4f3c", "f69f2445df4f9b17ad2b417be66c3710",
       "7b0c785e27e8ad3f8223207104725dd4"},
  };
  for (const Case& c : cases) {
    std::string key = FromHex(c.key);
    aes128::KeySchedule enc, dec;
    aes128::ExpandEncryptKey(Bytes(key), &enc);
    aes128::ExpandDecryptKey(Bytes(key), &dec);
    std::string block = FromHex(c.plain);
    aes128::EncryptBlock(enc, Bytes(block));
    EXPECT_EQ(block, FromHex(c.cipher)) << c.key;
    aes128::DecryptBlock(dec, Bytes(block));
    EXPECT_EQ(block, FromHex(c.plain)) << c.key;
  }
}

TEST(Aes128, EcbRoundTripTreatsBlocksIndependently) {
  std::string key = FromHex("000102030405060708090a0b0c0d0e0f");
  aes128::KeySchedule enc, dec;
  aes128::ExpandEncryptKey(Bytes(key), &enc);
  aes128::ExpandDecryptKey(Bytes(key), &dec);
  // Two equal plain blocks give two equal cipher blocks: no chaining.
  std::string data = FromHex("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
  aes128::EncryptEcb(enc, Bytes(data), data.size());
  EXPECT_EQ(data.substr(0, 16), FromHex("69c4e0d86a7b0430d8cdb78070b4c55a"));
  EXPECT_EQ(data.substr(0, 16), data.substr(16));
  std::string all(4096, '\0');
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<char>(i * 7 + (i >> 8));
  std::string copy = all;
  aes128::EncryptEcb(enc, Bytes(copy), copy.size());
  EXPECT_NE(copy, all);
  aes128::DecryptEcb(dec, Bytes(copy), copy.size());
  EXPECT_EQ(copy, all);
}

// The whole-buffer calls may take a faster path than the single blocks (four
// blocks at a time, then the rest): every count must give the same bytes.
TEST(Aes128, EcbMatchesBlockByBlockForEveryCount) {
  std::string key = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
  aes128::KeySchedule enc, dec;
  aes128::ExpandEncryptKey(Bytes(key), &enc);
  aes128::ExpandDecryptKey(Bytes(key), &dec);
  for (size_t blocks = 1; blocks <= 9; ++blocks) {
    std::string plain(16 * blocks, '\0');
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>(i * 13 + blocks);
    std::string whole = plain, single = plain;
    aes128::EncryptEcb(enc, Bytes(whole), whole.size());
    for (size_t b = 0; b < blocks; ++b) aes128::EncryptBlock(enc, Bytes(single) + 16 * b);
    EXPECT_EQ(whole, single) << blocks;
    aes128::DecryptEcb(dec, Bytes(whole), whole.size());
    EXPECT_EQ(whole, plain) << blocks;
  }
}

#if defined(_WIN32) && defined(__i386__)
namespace {
std::string g_roundTrip;
void RoundTripGlobal() {
  std::string key = FromHex("000102030405060708090a0b0c0d0e0f");
  aes128::KeySchedule enc, dec;
  aes128::ExpandEncryptKey(Bytes(key), &enc);
  aes128::ExpandDecryptKey(Bytes(key), &dec);
  aes128::EncryptEcb(enc, Bytes(g_roundTrip), g_roundTrip.size());
  aes128::DecryptEcb(dec, Bytes(g_roundTrip), g_roundTrip.size());
}
}  // namespace

// A thread may enter the cipher with its stack 8 bytes off what the compiler
// prefers (32-bit Windows promises 4): called that way, it must not fault.
TEST(Aes128, EcbWorksOnAStackNotAlignedToSixteen) {
  g_roundTrip = std::string(16 * 9, 'x');
  void (*fn)() = &RoundTripGlobal;
  asm volatile(
      "mov %%esp, %%esi\n\t"
      "and $-16, %%esp\n\t"
      "sub $8, %%esp\n\t"
      "call *%0\n\t"
      "mov %%esi, %%esp"
      :
      : "r"(fn)
      : "esi", "eax", "ecx", "edx", "memory", "cc");
  EXPECT_EQ(g_roundTrip, std::string(16 * 9, 'x'));
}
#endif
