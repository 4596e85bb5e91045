// The pack directory over decrypted bytes: the first four bytes give the
// header's payload length, the rest is the body. The compacting directory
// must agree with a plain map of the same records (sorted, last one wins).
#include <cstring>
#include <map>
#include <memory>

#include "core/pack_directory.h"
#include "core/safe_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t payload = 0;
  std::memcpy(&payload, data, 4);
  const size_t length = size - 4;
  std::unique_ptr<uint8_t[]> body(new uint8_t[length ? length : 1]);
  if (length) std::memcpy(body.get(), data + 4, length);

  std::map<std::string, PackSpan> expected;
  for (PackRecord& r : ReadPackRecords(payload, length ? body.get() : nullptr, length))
    expected[r.name] = r.span;
  PackDirectory dir = ParsePackDirectory(payload, length ? body.get() : nullptr, length);
  if (dir.size() != expected.size()) __builtin_trap();
  size_t i = 0;
  for (const auto& [name, span] : expected) {
    const PackDirectory::Entry e = dir[i++];
    if (e.name != name || e.span.offset != span.offset || e.span.size != span.size)
      __builtin_trap();
    if (e.name.size() > kPackNameField) __builtin_trap();  // names stay within their field
    (void)StaysInsideFolder(e.name);
    (void)SpanFitsBody(e.span, length);
  }
  return 0;
}
