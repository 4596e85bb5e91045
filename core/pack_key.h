// The pack's AES-128 key, derived from the package password at run time.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The fixed package password: the zip password and the key derivation's input.
extern const char kPackagePassword[];

// MD5 of the password's characters; a zero byte becomes its index, and the
// bytes at multiples of 3 are XORed with 0x11.
std::array<uint8_t, 16> DerivePackKey(std::string_view password);
