#include "package/zip_stream.h"

#include <algorithm>

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCryptHeaderSize = 12;
constexpr size_t kInputBytes = 64 * 1024;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint32_t CrcByte(uint32_t crc, uint8_t b) {
  static const z_crc_t* table = get_crc_table();
  return static_cast<uint32_t>(table[(crc ^ b) & 0xff]) ^ (crc >> 8);
}

}  // namespace

ZipMemberStream::ZipMemberStream(Source source, std::string_view password)
    : source_(std::move(source)), password_(password) {}

ZipMemberStream::~ZipMemberStream() {
  if (inflating_) inflateEnd(&z_);
}

void ZipMemberStream::UpdateKeys(uint8_t plain) {
  keys_[0] = CrcByte(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xff)) * 134775813u + 1;
  keys_[2] = CrcByte(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

void ZipMemberStream::Decipher(uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t t = (keys_[2] & 0xffff) | 2;
    data[i] ^= static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    UpdateKeys(data[i]);
  }
}

ZipMemberStream::Header ZipMemberStream::Open() {
  uint8_t h[kLocalHeaderSize];
  if (!source_(h, sizeof h)) return Header::kUnreadable;
  const uint16_t flags = Le16(h + 6);
  const uint16_t method = Le16(h + 8);
  crc_expected_ = Le32(h + 14);
  const uint32_t compressed = Le32(h + 18);
  const uint32_t size = Le32(h + 22);
  if (Le32(h) != kLocalHeaderSignature || (flags & (kFlagDataDescriptor | kFlagStrongEncryption)) ||
      (method != 0 && method != 8) || compressed == 0xFFFFFFFF || size == 0xFFFFFFFF || size == 0)
    return Header::kUnsupported;
  std::string skip(size_t{Le16(h + 26)} + Le16(h + 28), '\0');
  if (!source_(reinterpret_cast<uint8_t*>(&skip[0]), skip.size())) return Header::kUnreadable;
  encrypted_ = (flags & kFlagEncrypted) != 0;
  deflated_ = method == 8;
  size_ = size;
  compressed_left_ = compressed;
  if (encrypted_) {
    for (char c : password_) UpdateKeys(static_cast<uint8_t>(c));
    uint8_t head[kCryptHeaderSize];
    if (compressed_left_ < sizeof head) return Header::kUnsupported;
    if (!source_(head, sizeof head)) return Header::kUnreadable;
    compressed_left_ -= sizeof head;
    Decipher(head, sizeof head);
    // The last byte repeats the CRC's high byte: a wrong password shows here.
    if (head[kCryptHeaderSize - 1] != (crc_expected_ >> 24)) return Header::kUnsupported;
  }
  in_.reset(new uint8_t[kInputBytes]);
  if (deflated_) {
    if (inflateInit2(&z_, -MAX_WBITS) != Z_OK) return Header::kUnsupported;
    inflating_ = true;
  }
  crc_ = 0;
  return Header::kOk;
}

// Brings in the next piece of the member's deflated data, deciphered.
bool ZipMemberStream::Refill() {
  const size_t n = static_cast<size_t>(std::min<uint64_t>(kInputBytes, compressed_left_));
  if (n == 0 || !source_(in_.get(), n)) return false;
  compressed_left_ -= n;
  if (encrypted_) Decipher(in_.get(), n);
  z_.next_in = in_.get();
  z_.avail_in = static_cast<uInt>(n);
  return true;
}

bool ZipMemberStream::Read(uint8_t* dst, size_t n) {
  if (!in_ || n > size_ - produced_) return false;
  if (!deflated_) {
    // Stored data come straight from the source, deciphered in place.
    if (n > compressed_left_ || !source_(dst, n)) return false;
    compressed_left_ -= n;
    if (encrypted_) Decipher(dst, n);
  } else {
    uint8_t* out = dst;
    size_t left = n;
    while (left > 0) {
      if (z_.avail_in == 0 && compressed_left_ > 0 && !Refill()) return false;
      z_.next_out = out;
      z_.avail_out = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
      const int rc = inflate(&z_, Z_NO_FLUSH);
      const size_t made = static_cast<size_t>(z_.next_out - out);
      out += made;
      left -= made;
      if (rc == Z_STREAM_END) ended_ = true;
      // The data end before the member's size, or do not inflate.
      if ((rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) || (left > 0 && ended_) ||
          (made == 0 && z_.avail_in == 0 && compressed_left_ == 0))
        return false;
    }
  }
  crc_ = static_cast<uint32_t>(crc32(crc_, dst, static_cast<uInt>(n)));
  produced_ += n;
  return true;
}

bool ZipMemberStream::Finish() {
  uint8_t scratch[4096];
  while (produced_ < size_) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof scratch, size_ - produced_));
    if (!Read(scratch, n)) return false;
  }
  if (deflated_ && !ended_) {
    // Past the last byte only the deflate stream's end may follow.
    for (;;) {
      if (z_.avail_in == 0 && compressed_left_ > 0 && !Refill()) return false;
      z_.next_out = scratch;
      z_.avail_out = 1;
      const int rc = inflate(&z_, Z_NO_FLUSH);
      if (z_.avail_out == 0) return false;
      if (rc == Z_STREAM_END) break;
      if (rc != Z_OK || (z_.avail_in == 0 && compressed_left_ == 0)) return false;
    }
  }
  return crc_ == crc_expected_;
}
