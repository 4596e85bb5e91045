#include "core/hex_text.h"

namespace {

int LowerHexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string LowerHex(const unsigned char* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 0xF];
  }
  return out;
}

bool ParseLowerHex(std::string_view text, unsigned char* out, size_t size) {
  if (text.size() != size * 2) return false;
  for (char c : text)
    if (LowerHexDigit(c) < 0) return false;
  for (size_t i = 0; i < size; ++i)
    out[i] = static_cast<unsigned char>(LowerHexDigit(text[2 * i]) << 4 | LowerHexDigit(text[2 * i + 1]));
  return true;
}
