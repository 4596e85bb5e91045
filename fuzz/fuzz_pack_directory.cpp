// The pack directory over decrypted bytes: the first four bytes give the
// header's payload length, the rest is the body.
#include <cstring>
#include <memory>

#include "package/pack_directory.h"
#include "package/safe_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t payload = 0;
  std::memcpy(&payload, data, 4);
  const size_t length = size - 4;
  std::unique_ptr<uint8_t[]> body(new uint8_t[length ? length : 1]);
  if (length) std::memcpy(body.get(), data + 4, length);
  PackDirectory dir = ParsePackDirectory(payload, length ? body.get() : nullptr, length);
  for (const auto& [name, span] : dir) {
    if (name.size() > kPackNameField) __builtin_trap();  // names stay within their field
    (void)StaysInsideFolder(name);
    (void)SpanFitsBody(span, length);
  }
  return 0;
}
