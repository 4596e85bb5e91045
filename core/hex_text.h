// Bytes as lowercase hexadecimal text and back. The reading is strict: the
// signed texts have exactly one spelling of each value, so upper-case digits
// are refused rather than folded.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Two lowercase digits per byte.
std::string LowerHex(const unsigned char* data, size_t size);
// True when `text` is exactly 2 * `size` lowercase hexadecimal digits; then
// `out` holds their bytes. `out` is left alone otherwise.
bool ParseLowerHex(std::string_view text, unsigned char* out, size_t size);
