// The first member of a package zip read front to back as its bytes come in:
// the local header, the traditional PKWARE decryption and the inflate, with
// the CRC-32 checked at the end. A member this way cannot serve exactly as
// the whole-archive reader would (sizes in a trailing data descriptor, zip64
// sizes, an unknown method, a wrong password) is refused at its header, so
// the caller can fall back to that reader.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class ZipMemberStream {
 public:
  // Places exactly n bytes of the archive, from where the last call ended.
  // False when they cannot be had (the caller knows why).
  using Source = std::function<bool(uint8_t* dst, size_t n)>;
  enum class Header { kOk, kUnsupported, kUnreadable };

  ZipMemberStream(Source source, std::string_view password);
  ~ZipMemberStream();
  ZipMemberStream(const ZipMemberStream&) = delete;
  ZipMemberStream& operator=(const ZipMemberStream&) = delete;

  Header Open();
  uint64_t size() const { return size_; }

  // The member's next n bytes; false when the source failed or the data are
  // damaged (they end early, do not inflate).
  bool Read(uint8_t* dst, size_t n);
  // Reads what is left and checks the member's end and its CRC-32.
  bool Finish();

 private:
  bool Refill();
  void Decipher(uint8_t* data, size_t n);
  void UpdateKeys(uint8_t plain);

  Source source_;
  std::string password_;
  // The cipher's keys before the password is taken in.
  uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
  bool encrypted_ = false;
  bool deflated_ = false;
  uint32_t crc_expected_ = 0;
  uint32_t crc_ = 0;
  uint64_t size_ = 0;
  uint64_t produced_ = 0;
  uint64_t compressed_left_ = 0;
  bool inflating_ = false;
  bool ended_ = false;
  z_stream z_{};
  std::unique_ptr<uint8_t[]> in_;  // deflated data, deciphered
};
