#include "system/publisher_key.h"

#include <string.h>

#include <atomic>

// ONLINE_SETUP_PUBLISHER_KEY_BYTES is the key's X||Y as a list of byte values,
// written by cmake/publisher_key.cmake; absent or empty in an unkeyed build.
#ifndef ONLINE_SETUP_PUBLISHER_KEY_BYTES
#define ONLINE_SETUP_PUBLISHER_KEY_BYTES
#endif

namespace signature {
namespace {
constexpr uint8_t kKey[] = {0 /* placeholder so the array is never empty */, ONLINE_SETUP_PUBLISHER_KEY_BYTES};
static_assert(sizeof kKey == 1 || sizeof kKey == 1 + kPublicKeyBytes, "a P-256 public key is 64 bytes");

enum class TestKey { kCompiled, kKeyed, kUnkeyed };
std::atomic<TestKey> g_test_key{TestKey::kCompiled};
uint8_t g_test_key_bytes[kPublicKeyBytes] = {};
}  // namespace

bool PublisherKey(uint8_t (&key)[kPublicKeyBytes]) {
  switch (g_test_key.load()) {
    case TestKey::kKeyed:
      memcpy(key, g_test_key_bytes, kPublicKeyBytes);
      return true;
    case TestKey::kUnkeyed:
      return false;
    case TestKey::kCompiled:
      break;
  }
  if (sizeof kKey != 1 + kPublicKeyBytes) return false;
  memcpy(key, kKey + 1, kPublicKeyBytes);
  return true;
}

void SetPublisherKeyForTesting(const uint8_t* key_or_null) {
  if (key_or_null) memcpy(g_test_key_bytes, key_or_null, kPublicKeyBytes);
  g_test_key.store(key_or_null ? TestKey::kKeyed : TestKey::kUnkeyed);
}

void ResetPublisherKeyForTesting() { g_test_key.store(TestKey::kCompiled); }

}  // namespace signature
