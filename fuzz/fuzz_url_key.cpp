// A URL turned into the name of its resume cache folder: at most 200 bytes,
// no character that a file name cannot hold, never half a character cut off.
#include <cstring>
#include <string>

#include "core/gbk_text.h"
#include "core/url_cache_key.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string url = ExactCopy(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string key = UrlCacheKey(url);
  if (key.size() > 200) __builtin_trap();
  for (size_t i = 0; i < key.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(key[i]);
    if (gbk::IsLeadByte(c) && i + 1 < key.size()) {
      ++i;
      continue;
    }
    if (c == '.' || (c != 0 && std::strchr("/\\:*?\"<>|", c) != nullptr)) __builtin_trap();
  }
  // The key names one folder: the same URL always gives the same one.
  if (UrlCacheKey(url) != key) __builtin_trap();
  return 0;
}
