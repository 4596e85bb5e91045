#include "core/sha256.h"

#include <atomic>
#include <cstring>

#include "core/byte_order.h"
#include "core/hex_text.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define SHA256_HAVE_X86_PATH 1
#endif

namespace {

constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

inline uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

#if SHA256_HAVE_X86_PATH
// The SHA extensions keep the state as ABEF/CDGH pairs; rnds2 runs two rounds
// from the low two lanes of the message+constant word. 32-bit Windows keeps
// threads' stacks only 4-byte aligned, and the compiler spills the 16-byte
// state to the stack with aligned accesses: the stack is realigned on entry.
__attribute__((target("sha,sse4.1,ssse3"), force_align_arg_pointer)) void TransformShaNi(uint32_t state[8],
                                                                 const unsigned char* data,
                                                                 size_t blocks) {
  const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i s1 = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  __m128i s0 = _mm_alignr_epi8(tmp, s1, 8);
  s1 = _mm_blend_epi16(s1, tmp, 0xF0);
  for (; blocks; --blocks, data += 64) {
    const __m128i save0 = s0, save1 = s1;
    __m128i m[4];
    for (int g = 0; g < 16; ++g) {
      __m128i& w = m[g & 3];
      if (g < 4) {
        w = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), swap);
      } else {
        const __m128i w7 = _mm_alignr_epi8(m[(g + 3) & 3], m[(g + 2) & 3], 4);
        w = _mm_sha256msg2_epu32(_mm_add_epi32(_mm_sha256msg1_epu32(w, m[(g + 1) & 3]), w7),
                                 m[(g + 3) & 3]);
      }
      __m128i k = _mm_add_epi32(w, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * g)));
      s1 = _mm_sha256rnds2_epu32(s1, s0, k);
      s0 = _mm_sha256rnds2_epu32(s0, s1, _mm_shuffle_epi32(k, 0x0E));
    }
    s0 = _mm_add_epi32(s0, save0);
    s1 = _mm_add_epi32(s1, save1);
  }
  tmp = _mm_shuffle_epi32(s0, 0x1B);
  s1 = _mm_shuffle_epi32(s1, 0xB1);
  s0 = _mm_blend_epi16(tmp, s1, 0xF0);
  s1 = _mm_alignr_epi8(s1, tmp, 8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), s0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), s1);
}

bool CpuHasShaNi() {
  unsigned a, b, c, d;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  const bool sha = (b >> 29) & 1;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  return sha && (c & bit_SSE4_1) && (c & bit_SSSE3);
}
#endif

std::atomic<bool> g_force_portable{false};

bool UseShaNi() {
#if SHA256_HAVE_X86_PATH
  static const bool has = CpuHasShaNi();
  return has && !g_force_portable.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

}  // namespace

void Sha256ForcePortableForTesting(bool force) { g_force_portable.store(force); }

void Sha256::Blocks(const unsigned char* data, size_t blocks) {
#if SHA256_HAVE_X86_PATH
  if (UseShaNi()) {
    TransformShaNi(state_, data, blocks);
    return;
  }
#endif
  for (; blocks; --blocks, data += 64) Transform(data);
}

Sha256::Sha256() { Reset(); }

void Sha256::Reset() {
  static const uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::memcpy(state_, kInitial, sizeof state_);
  bytes_ = 0;
  std::memset(buffer_, 0, sizeof buffer_);
}

void Sha256::Update(const void* data, size_t size) {
  const unsigned char* input = static_cast<const unsigned char*>(data);
  size_t index = static_cast<size_t>(bytes_ & 63);
  bytes_ += size;
  if (index) {
    const size_t part = 64 - index;
    if (size < part) {
      std::memcpy(buffer_ + index, input, size);
      return;
    }
    std::memcpy(buffer_ + index, input, part);
    Blocks(buffer_, 1);
    input += part;
    size -= part;
  }
  // Whole blocks straight from the caller's bytes; only a tail is kept.
  Blocks(input, size / 64);
  input += size & ~size_t{63};
  size &= 63;
  if (size) std::memcpy(buffer_, input, size);
}

void Sha256::Final(unsigned char digest[kSha256Size]) {
  const uint64_t bits = bytes_ * 8;
  const size_t index = static_cast<size_t>(bytes_ & 63);
  unsigned char pad[72] = {0x80};
  const size_t pad_size = index < 56 ? 56 - index : 120 - index;
  for (int i = 0; i < 8; ++i) pad[pad_size + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
  Update(pad, pad_size + 8);
  for (int i = 0; i < 8; ++i) StoreBe32(digest + 4 * i, state_[i]);
  Reset();
}

Sha256Digest Sha256::Final() {
  Sha256Digest d;
  Final(d.data());
  return d;
}

void Sha256::Transform(const unsigned char block[64]) {
  uint32_t w[64];
  for (int i = 0; i < 16; ++i) w[i] = LoadBe32(block + 4 * i);
  for (int i = 16; i < 64; ++i) {
    const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
  for (int i = 0; i < 64; ++i) {
    const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                        kRound[i] + w[i];
    const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  const uint32_t sums[8] = {a, b, c, d, e, f, g, h};
  for (int i = 0; i < 8; ++i) state_[i] += sums[i];
}

std::string Sha256Hex(const unsigned char digest[kSha256Size]) { return LowerHex(digest, kSha256Size); }

Sha256Digest Sha256Of(const void* data, size_t size) {
  Sha256 ctx;
  ctx.Update(data, size);
  return ctx.Final();
}
