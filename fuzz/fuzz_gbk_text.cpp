// The GBK cutters and searches: every cut ends on a whole character and fits
// its bound; searches stay inside the text.
#include <cstring>

#include "core/gbk_text.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t max = data[0];
  auto [text, needle] = SplitAtNul(data + 1, size - 1);
  const std::string_view cut = gbk::CutToBytes(text, max);
  if (cut.size() > max || cut.size() > text.size()) __builtin_trap();
  char buffer[64];
  const size_t capacity = max % sizeof buffer + 1;
  gbk::CopyToBuffer(buffer, capacity, text);
  if (std::strlen(buffer) >= capacity) __builtin_trap();
  const size_t at = gbk::Find(text, needle, max);
  if (at != std::string::npos && at + needle.size() > text.size()) __builtin_trap();
  const size_t last = gbk::FindLastChar(text, needle.empty() ? '\\' : needle[0]);
  if (last != std::string::npos && last >= text.size()) __builtin_trap();
  if (gbk::ToLower(text).size() != text.size()) __builtin_trap();
  (void)gbk::Trim(text);
  (void)gbk::EqualsIgnoreCase(text, needle);
  (void)gbk::FormatCut(max, "%s|%s", text.c_str(), needle.c_str());
  return 0;
}
