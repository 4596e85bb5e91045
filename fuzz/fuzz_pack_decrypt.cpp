// A whole pack file as it lies on disk (header, then ciphertext), decrypted
// with the package key and parsed, as the installer does.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/aes128.h"
#include "core/pack_directory.h"
#include "core/pack_key.h"

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
  // The table read in odd pieces, as the installer reads it window by window.
  const size_t piece = 1 + payload % 97;
  auto read = [&](uint64_t offset, void* dst, size_t n) {
    if (offset > body.size() || n > body.size() - offset) return false;
    for (size_t done = 0; done < n; done += piece)
      std::memcpy(static_cast<uint8_t*>(dst) + done, body.data() + offset + done,
                  std::min(piece, n - done));
    return true;
  };
  PackDirectory streamed;
  const bool ok = ReadPackTable(
      payload, body.size(), read, [&](std::string_view name, PackSpan span) { streamed.Add(name, span); },
      [](uint64_t done, uint64_t total) {
        if (done > total) __builtin_trap();
      });
  streamed.Finish();
  const PackDirectory whole = ParsePackDirectory(payload, body.data(), body.size());
  if (ok && streamed.size() != whole.size()) __builtin_trap();
  return 0;
}
