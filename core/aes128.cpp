#include "core/aes128.h"

#include "core/byte_order.h"

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#include <immintrin.h>
#define AES128_HAVE_AESNI 1
#endif

namespace aes128 {
namespace {

struct Tables {
  uint8_t sbox[256];
  uint8_t inv_sbox[256];
  uint32_t te[4][256];
  uint32_t td[4][256];
};

uint32_t RotateRight(uint32_t v, int bits) { return (v >> bits) | (v << (32 - bits)); }

uint8_t Multiply(uint8_t a, uint8_t b) {
  uint8_t product = 0;
  while (b) {
    if (b & 1) product ^= a;
    a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
    b >>= 1;
  }
  return product;
}

Tables BuildTables() {
  Tables t{};
  // Powers and logarithms of the generator 3 give the field inverses.
  uint8_t power[255];
  uint8_t log[256] = {};
  uint8_t x = 1;
  for (int i = 0; i < 255; ++i) {
    power[i] = x;
    log[x] = static_cast<uint8_t>(i);
    x = Multiply(x, 3);
  }
  for (int i = 0; i < 256; ++i) {
    uint8_t inv = i == 0 ? 0 : power[(255 - log[i]) % 255];
    uint8_t s = inv;
    for (int r = 1; r <= 4; ++r) s ^= static_cast<uint8_t>((inv << r) | (inv >> (8 - r)));
    s ^= 0x63;
    t.sbox[i] = s;
    t.inv_sbox[s] = static_cast<uint8_t>(i);
  }
  for (int i = 0; i < 256; ++i) {
    uint8_t s = t.sbox[i];
    uint32_t e = (uint32_t{Multiply(s, 2)} << 24) | (uint32_t{s} << 16) | (uint32_t{s} << 8) |
                 Multiply(s, 3);
    uint8_t v = t.inv_sbox[i];
    uint32_t d = (uint32_t{Multiply(v, 14)} << 24) | (uint32_t{Multiply(v, 9)} << 16) |
                 (uint32_t{Multiply(v, 13)} << 8) | Multiply(v, 11);
    for (int k = 0; k < 4; ++k) {
      t.te[k][i] = k == 0 ? e : RotateRight(e, 8 * k);
      t.td[k][i] = k == 0 ? d : RotateRight(d, 8 * k);
    }
  }
  return t;
}

// Built on first use (thread-safe static initialisation), read-only afterwards.
const Tables& GetTables() {
  static const Tables tables = BuildTables();
  return tables;
}

// One column of a middle round: the table entries of the four bytes the row
// shift brings together (the first byte of `a`, the second of `b`...), with
// the round key's word.
uint32_t RoundColumn(const uint32_t (&table)[4][256], uint32_t a, uint32_t b, uint32_t c,
                     uint32_t d, uint32_t key) {
  return table[0][a >> 24] ^ table[1][(b >> 16) & 0xFF] ^ table[2][(c >> 8) & 0xFF] ^
         table[3][d & 0xFF] ^ key;
}

// One column of the last round: the same bytes through the S-box only.
uint32_t LastColumn(const uint8_t* sbox, uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                    uint32_t key) {
  return ((uint32_t{sbox[a >> 24]} << 24) | (uint32_t{sbox[(b >> 16) & 0xFF]} << 16) |
          (uint32_t{sbox[(c >> 8) & 0xFF]} << 8) | sbox[d & 0xFF]) ^
         key;
}

// The rounds of either direction. The row shift brings column i the bytes of
// columns i, i+1, i+2, i+3; its inverse takes them from the other side (i,
// i-1, i-2, i-3).
template <bool kDecrypt>
void CipherBlock(const KeySchedule& schedule, uint8_t block[kBlockSize]) {
  const Tables& t = GetTables();
  const auto& table = kDecrypt ? t.td : t.te;
  const uint8_t* sbox = kDecrypt ? t.inv_sbox : t.sbox;
  constexpr int kStep = kDecrypt ? 3 : 1;
  const uint32_t* rk = schedule.words;
  uint32_t s[4], next[4];
  auto at = [&s](int column, int byte) { return s[(column + byte * kStep) & 3]; };
  for (int i = 0; i < 4; ++i) s[i] = LoadBe32(block + 4 * i) ^ rk[i];
  for (int round = 1; round < 10; ++round) {
    rk += 4;
    for (int i = 0; i < 4; ++i)
      next[i] = RoundColumn(table, at(i, 0), at(i, 1), at(i, 2), at(i, 3), rk[i]);
    for (int i = 0; i < 4; ++i) s[i] = next[i];
  }
  rk += 4;
  for (int i = 0; i < 4; ++i)
    StoreBe32(block + 4 * i, LastColumn(sbox, at(i, 0), at(i, 1), at(i, 2), at(i, 3), rk[i]));
}

}  // namespace

void ExpandEncryptKey(const uint8_t key[kKeySize], KeySchedule* schedule) {
  const uint8_t* sbox = GetTables().sbox;
  uint32_t* rk = schedule->words;
  for (int i = 0; i < 4; ++i) rk[i] = LoadBe32(key + 4 * i);
  uint8_t rcon = 1;
  for (int i = 4; i < 44; ++i) {
    uint32_t temp = rk[i - 1];
    if (i % 4 == 0) {
      // RotWord, then SubWord: the S-box on each byte of the word.
      const uint32_t rotated = (temp << 8) | (temp >> 24);
      temp = LastColumn(sbox, rotated, rotated, rotated, rotated, uint32_t{rcon} << 24);
      rcon = Multiply(rcon, 2);
    }
    rk[i] = rk[i - 4] ^ temp;
  }
}

void ExpandDecryptKey(const uint8_t key[kKeySize], KeySchedule* schedule) {
  const Tables& t = GetTables();
  KeySchedule enc;
  ExpandEncryptKey(key, &enc);
  uint32_t* rk = schedule->words;
  // Round keys in reverse order; the middle ones pass through InvMixColumns.
  for (int round = 0; round <= 10; ++round) {
    for (int j = 0; j < 4; ++j) {
      uint32_t w = enc.words[4 * (10 - round) + j];
      if (round != 0 && round != 10) {
        w = t.td[0][t.sbox[w >> 24]] ^ t.td[1][t.sbox[(w >> 16) & 0xFF]] ^
            t.td[2][t.sbox[(w >> 8) & 0xFF]] ^ t.td[3][t.sbox[w & 0xFF]];
      }
      rk[4 * round + j] = w;
    }
  }
}

void EncryptBlock(const KeySchedule& schedule, uint8_t block[kBlockSize]) {
  CipherBlock<false>(schedule, block);
}

void DecryptBlock(const KeySchedule& schedule, uint8_t block[kBlockSize]) {
  CipherBlock<true>(schedule, block);
}

#ifdef AES128_HAVE_AESNI
namespace {

// The processor's AES instructions take about a tenth of the table code's
// time: a pack of a few hundred MiB is deciphered in a fraction of a second.
// Both schedules are already in the form the instructions use (the decrypt
// one is the equivalent inverse cipher's); only the byte order of the words
// differs.
bool HaveAesInstructions() {
  static const bool have = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_AES) != 0 && (d & bit_SSE2) != 0;
  }();
  return have;
}

__attribute__((target("sse2,aes"))) void LoadRoundKeys(const KeySchedule& schedule,
                                                        __m128i keys[11]) {
  for (int r = 0; r < 11; ++r) {
    uint8_t bytes[16];
    for (int j = 0; j < 4; ++j) StoreBe32(bytes + 4 * j, schedule.words[4 * r + j]);
    keys[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  }
}

template <bool kDecrypt>
__attribute__((target("sse2,aes"))) inline __m128i Round(__m128i s, __m128i key) {
  if constexpr (kDecrypt) return _mm_aesdec_si128(s, key);
  return _mm_aesenc_si128(s, key);
}

template <bool kDecrypt>
__attribute__((target("sse2,aes"))) inline __m128i LastRound(__m128i s, __m128i key) {
  if constexpr (kDecrypt) return _mm_aesdeclast_si128(s, key);
  return _mm_aesenclast_si128(s, key);
}

// Four blocks at a time keep the instruction pipeline full; the rest one by one.
// 32-bit Windows guarantees a thread only 4-byte stack alignment, and the
// round keys kept on the stack are read with instructions that need 16:
// the stack is aligned on entry.
template <bool kDecrypt>
__attribute__((target("sse2,aes"), force_align_arg_pointer)) void EcbWithInstructions(
    const KeySchedule& schedule, uint8_t* data, size_t blocks) {
  __m128i k[11];
  LoadRoundKeys(schedule, k);
  __m128i* p = reinterpret_cast<__m128i*>(data);
  size_t i = 0;
  for (; i + 4 <= blocks; i += 4) {
    __m128i s0 = _mm_xor_si128(_mm_loadu_si128(p + i), k[0]);
    __m128i s1 = _mm_xor_si128(_mm_loadu_si128(p + i + 1), k[0]);
    __m128i s2 = _mm_xor_si128(_mm_loadu_si128(p + i + 2), k[0]);
    __m128i s3 = _mm_xor_si128(_mm_loadu_si128(p + i + 3), k[0]);
    for (int r = 1; r < 10; ++r) {
      s0 = Round<kDecrypt>(s0, k[r]);
      s1 = Round<kDecrypt>(s1, k[r]);
      s2 = Round<kDecrypt>(s2, k[r]);
      s3 = Round<kDecrypt>(s3, k[r]);
    }
    _mm_storeu_si128(p + i, LastRound<kDecrypt>(s0, k[10]));
    _mm_storeu_si128(p + i + 1, LastRound<kDecrypt>(s1, k[10]));
    _mm_storeu_si128(p + i + 2, LastRound<kDecrypt>(s2, k[10]));
    _mm_storeu_si128(p + i + 3, LastRound<kDecrypt>(s3, k[10]));
  }
  for (; i < blocks; ++i) {
    __m128i s = _mm_xor_si128(_mm_loadu_si128(p + i), k[0]);
    for (int r = 1; r < 10; ++r) s = Round<kDecrypt>(s, k[r]);
    _mm_storeu_si128(p + i, LastRound<kDecrypt>(s, k[10]));
  }
}

}  // namespace
#endif

void EncryptEcb(const KeySchedule& schedule, uint8_t* data, size_t size) {
#ifdef AES128_HAVE_AESNI
  if (HaveAesInstructions()) return EcbWithInstructions<false>(schedule, data, size / kBlockSize);
#endif
  for (size_t pos = 0; pos + kBlockSize <= size; pos += kBlockSize) EncryptBlock(schedule, data + pos);
}

void DecryptEcb(const KeySchedule& schedule, uint8_t* data, size_t size) {
#ifdef AES128_HAVE_AESNI
  if (HaveAesInstructions()) return EcbWithInstructions<true>(schedule, data, size / kBlockSize);
#endif
  for (size_t pos = 0; pos + kBlockSize <= size; pos += kBlockSize) DecryptBlock(schedule, data + pos);
}

}  // namespace aes128
