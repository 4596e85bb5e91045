#include "core/pack_key.h"

#include "core/md5.h"

const char kPackagePassword[] = "6203918547";

std::array<uint8_t, 16> DerivePackKey(std::string_view password) {
  MD5_CTX md5;
  md5.Update(password.data(), password.size());
  std::array<uint8_t, 16> key{};
  md5.Final(key.data());
  for (size_t i = 0; i < key.size(); ++i) {
    if (key[i] == 0) key[i] = static_cast<uint8_t>(i);
    if (i % 3 == 0) key[i] ^= 0x11;
  }
  return key;
}
