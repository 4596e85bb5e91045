// MD5 message digest (RFC 1321) and its lowercase hexadecimal text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class MD5_CTX {
 public:
  MD5_CTX();
  void Update(const void* data, size_t size);
  // Writes the 16-byte digest and resets the object for a new message.
  void Final(unsigned char digest[16]);

 private:
  void Reset();
  void Transform(const unsigned char block[64]);

  uint32_t state_[4];
  uint32_t count_[2];  // bits processed, low word first
  unsigned char buffer_[64];
};

// The 16 digest bytes as 32 lowercase hexadecimal digits.
std::string Md5Hex(const unsigned char digest[16]);
// Convenience: the hexadecimal MD5 of a byte string.
std::string Md5OfBytes(const void* data, size_t size);
