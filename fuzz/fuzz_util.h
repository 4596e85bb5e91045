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
