// The publisher's public key compiled into this installer (configure-time
// setting PUBLISHER_KEY_FILE), or none for an installer that takes unsigned
// servers as they are.
#pragma once

#include <stdint.h>

#include "system/signature_check.h"

namespace signature {

// True and the key for a keyed installer; false for an unkeyed one.
[[nodiscard]] bool PublisherKey(uint8_t (&key)[kPublicKeyBytes]);

// Test programs run keyed (a key of their own, copied) or unkeyed (null)
// whatever the build; ResetPublisherKeyForTesting returns to the compiled-in
// choice. Set before a worker starts, never while one reads the key.
void SetPublisherKeyForTesting(const uint8_t* key_or_null);
void ResetPublisherKeyForTesting();

}  // namespace signature
