// Zip member names and pack entry names through the name rules: whatever
// comes out must stay inside the folder or be refused.
#include "fuzz_util.h"
#include "core/safe_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string raw = ExactCopy(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string name = SanitizeMemberName(raw);
  if (name.size() > raw.size()) __builtin_trap();  // sanitising only removes
  if (StaysInsideFolder(name)) {
    // An accepted name has no drive and no parent step left.
    if (name.find(':') != std::string::npos) __builtin_trap();
  }
  (void)StaysInsideFolder(raw);
  return 0;
}
