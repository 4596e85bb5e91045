// Our SHA-256 against OpenSSL's on the same bytes, fed in pieces whose sizes
// the input's first bytes choose (zero-size pieces included).
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

#include "core/sha256.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t pieces = data[0] % 8;
  const uint8_t* sizes = data + 1;
  const size_t size_bytes = std::min(pieces, size - 1);
  const uint8_t* message = sizes + size_bytes;
  const size_t length = size - 1 - size_bytes;
  // Both transforms against the reference: the SHA extensions one, then the portable one.
  for (bool portable : {false, true}) {
  Sha256ForcePortableForTesting(portable);
  Sha256 ours;
  size_t at = 0;
  for (size_t i = 0; i < size_bytes; ++i) {
    // Pieces up to 255 bytes, or 4 blocks of 64 when the size byte is odd.
    const size_t want = sizes[i] & 1 ? 256 : sizes[i];
    const size_t piece = std::min(want, length - at);
    ours.Update(message + at, piece);
    at += piece;
  }
  ours.Update(message + at, length - at);
  const Sha256Digest mine = ours.Final();
  unsigned char ref[EVP_MAX_MD_SIZE];
  unsigned int ref_len = 0;
  EVP_Digest(message, length, ref, &ref_len, EVP_sha256(), nullptr);
  if (ref_len != kSha256Size || std::memcmp(mine.data(), ref, kSha256Size) != 0) __builtin_trap();
  }
  return 0;
}
