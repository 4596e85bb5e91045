// Checks a publisher's ECDSA P-256 signature over a SHA-256 digest with the
// platform's own CNG, so no signature code of ours stands between a download
// and the decision to run it.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace signature {

constexpr size_t kPublicKeyBytes = 64;  // the curve point's X then Y, big-endian
constexpr size_t kSignatureBytes = 64;  // r then s, big-endian
constexpr size_t kDigestBytes = 32;     // SHA-256

enum class Verdict {
  kValid,
  kInvalid,      // the key did not sign this digest
  kUnavailable,  // CNG refused the key or the algorithm: treated as invalid by callers
};

[[nodiscard]] Verdict VerifyP256(const uint8_t (&publicKey)[kPublicKeyBytes],
                                 const uint8_t (&digest)[kDigestBytes],
                                 const uint8_t (&signatureBytes)[kSignatureBytes]);

}  // namespace signature
