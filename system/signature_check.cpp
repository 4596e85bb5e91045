#include "system/signature_check.h"

#include <windows.h>

#include <bcrypt.h>
#include <string.h>

#include "system/scoped_handle.h"

namespace signature {
namespace {

void CloseAlgorithm(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }

constexpr NTSTATUS kStatusSuccess = 0;

}  // namespace

Verdict VerifyP256(const uint8_t (&publicKey)[kPublicKeyBytes], const uint8_t (&digest)[kDigestBytes],
                   const uint8_t (&signatureBytes)[kSignatureBytes]) {
  BCRYPT_ALG_HANDLE raw = nullptr;
  if (::BCryptOpenAlgorithmProvider(&raw, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != kStatusSuccess)
    return Verdict::kUnavailable;
  ScopedHandle<NullHandleTraits<BCRYPT_ALG_HANDLE, &CloseAlgorithm>> algorithm(raw);

  // A public key blob is its header followed by X and Y.
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + kPublicKeyBytes];
  BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kPublicKeyBytes / 2};
  memcpy(blob, &header, sizeof header);
  memcpy(blob + sizeof header, publicKey, kPublicKeyBytes);
  BCRYPT_KEY_HANDLE rawKey = nullptr;
  if (::BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &rawKey, blob, sizeof blob, 0) !=
      kStatusSuccess)
    return Verdict::kUnavailable;
  ScopedHandle<NullHandleTraits<BCRYPT_KEY_HANDLE, &::BCryptDestroyKey>> key(rawKey);

  const NTSTATUS status = ::BCryptVerifySignature(
      key.get(), nullptr, const_cast<PUCHAR>(digest), kDigestBytes, const_cast<PUCHAR>(signatureBytes),
      kSignatureBytes, 0);
  // STATUS_INVALID_SIGNATURE, and any other refusal (r or s out of range), is no signature.
  return status == kStatusSuccess ? Verdict::kValid : Verdict::kInvalid;
}

}  // namespace signature
