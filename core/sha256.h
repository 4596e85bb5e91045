// SHA-256 message digest (FIPS 180-4), streaming like MD5_CTX: update any
// number of times, then final into 32 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kSha256Size = 32;
using Sha256Digest = std::array<unsigned char, kSha256Size>;

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t size);
  // Writes the 32-byte digest and resets the object for a new message.
  void Final(unsigned char digest[kSha256Size]);
  Sha256Digest Final();

 private:
  void Reset();
  void Transform(const unsigned char block[64]);
  void Blocks(const unsigned char* data, size_t blocks);

  uint32_t state_[8];
  uint64_t bytes_;  // message length so far
  unsigned char buffer_[64];
};

// The 32 digest bytes as 64 lowercase hexadecimal digits.
std::string Sha256Hex(const unsigned char digest[kSha256Size]);
// Convenience: the digest of a byte string in one call.
Sha256Digest Sha256Of(const void* data, size_t size);
// Tests run both transforms: true keeps the portable one even where the CPU
// has the SHA extensions.
void Sha256ForcePortableForTesting(bool force);
