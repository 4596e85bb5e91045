// A whole pack file as it lies on disk (header, then ciphertext), decrypted
// with the package key and parsed, as the installer does.
#include <cstring>
#include <vector>

#include "package/aes128.h"
#include "package/pack_directory.h"
#include "package/pack_key.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kPackHeaderSize) return 0;
  const size_t length = size - kPackHeaderSize;
  if (length % aes128::kBlockSize != 0) return 0;  // the installer refuses these
  static const aes128::KeySchedule key = [] {
    aes128::KeySchedule k;
    const auto raw = DerivePackKey("6203918547");
    aes128::ExpandDecryptKey(raw.data(), &k);
    return k;
  }();
  uint32_t payload = 0;
  std::memcpy(&payload, data, 4);
  std::vector<uint8_t> body(data + kPackHeaderSize, data + size);
  aes128::DecryptEcb(key, body.data(), body.size());
  (void)ParsePackDirectory(payload, body.data(), body.size());
  return 0;
}
