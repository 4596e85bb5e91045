#include "system/publisher_key.h"

#include <string.h>

// ONLINE_SETUP_PUBLISHER_KEY_BYTES is the key's X||Y as a list of byte values,
// written by cmake/publisher_key.cmake; absent or empty in an unkeyed build.
#ifndef ONLINE_SETUP_PUBLISHER_KEY_BYTES
#define ONLINE_SETUP_PUBLISHER_KEY_BYTES
#endif

namespace signature {
namespace {
constexpr uint8_t kKey[] = {0 /* placeholder so the array is never empty */, ONLINE_SETUP_PUBLISHER_KEY_BYTES};
static_assert(sizeof kKey == 1 || sizeof kKey == 1 + kPublicKeyBytes, "a P-256 public key is 64 bytes");
}  // namespace

bool PublisherKey(uint8_t (&key)[kPublicKeyBytes]) {
  if (sizeof kKey != 1 + kPublicKeyBytes) return false;
  memcpy(key, kKey + 1, kPublicKeyBytes);
  return true;
}

}  // namespace signature
