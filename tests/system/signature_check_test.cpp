#include "system/signature_check.h"

#include <gtest/gtest.h>
#include <string.h>

#include "signature_vectors.h"

namespace {

using signature::Verdict;

struct Row {
  const char* name;
  const uint8_t* key;
  int digestFlip;     // byte index to flip in the digest, or -1
  int signatureFlip;  // byte index to flip in the signature, or -1
  bool zeroSignature;
  Verdict want;
};

TEST(SignatureCheck, AcceptsOnlyTheSigningKeysSignatureOfThatDigest) {
  static const uint8_t kNotAPoint[64] = {1, 2, 3};
  const Row rows[] = {
      {"the signer's signature", kVectorKeyA, -1, -1, false, Verdict::kValid},
      {"another key", kVectorKeyB, -1, -1, false, Verdict::kInvalid},
      {"digest of other data", kVectorKeyA, 31, -1, false, Verdict::kInvalid},
      {"r changed", kVectorKeyA, -1, 0, false, Verdict::kInvalid},
      {"s changed", kVectorKeyA, -1, 63, false, Verdict::kInvalid},
      {"r and s zero", kVectorKeyA, -1, -1, true, Verdict::kInvalid},
  };
  for (const Row& row : rows) {
    uint8_t key[64], digest[32], sig[64];
    memcpy(key, row.key, 64);
    memcpy(digest, kVectorDigest, 32);
    memcpy(sig, kVectorSignatureA, 64);
    if (row.digestFlip >= 0) digest[row.digestFlip] ^= 0x01;
    if (row.signatureFlip >= 0) sig[row.signatureFlip] ^= 0x80;
    if (row.zeroSignature) memset(sig, 0, sizeof sig);
    EXPECT_EQ(signature::VerifyP256(key, digest, sig), row.want) << row.name;
  }
  // A key that is no point on the curve never verifies anything.
  uint8_t key[64], digest[32], sig[64];
  memcpy(key, kNotAPoint, 64);
  memcpy(digest, kVectorDigest, 32);
  memcpy(sig, kVectorSignatureA, 64);
  EXPECT_NE(signature::VerifyP256(key, digest, sig), Verdict::kValid);
}

}  // namespace
