// The publisher's public key compiled into this installer (configure-time
// setting PUBLISHER_KEY_FILE), or none for an installer that takes unsigned
// servers as they are.
#pragma once

#include <stdint.h>

#include "system/signature_check.h"

namespace signature {

// True and the key for a keyed installer; false for an unkeyed one.
[[nodiscard]] bool PublisherKey(uint8_t (&key)[kPublicKeyBytes]);

}  // namespace signature
