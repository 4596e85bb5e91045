// Small helpers shared by the fuzz targets: turning the fuzzer's bytes into
// the inputs a parser takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Splits the input at its first NUL: the part before and the part after.
inline std::pair<std::string, std::string> SplitAtNul(const uint8_t* data, size_t size) {
  std::string_view all(reinterpret_cast<const char*>(data), size);
  size_t at = all.find('\0');
  if (at == std::string_view::npos) return {std::string(all), std::string()};
  return {std::string(all.substr(0, at)), std::string(all.substr(at + 1))};
}

// A bound that makes an out-of-range access visible to the sanitizers: the
// text lives in a heap block of exactly its size.
inline std::string ExactCopy(std::string_view s) { return std::string(s.data(), s.size()); }

// True when every byte from 0x81 to 0xFE is followed by a trail byte (0x40 to
// 0xFE but 0x7F), as in every name Windows converts from its wide form.
inline bool IsWellFormedGbk(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x81 || c == 0xFF) continue;
    if (i + 1 >= s.size()) return false;
    const unsigned char t = static_cast<unsigned char>(s[++i]);
    if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
  }
  return true;
}
