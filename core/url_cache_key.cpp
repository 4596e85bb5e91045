#include "core/url_cache_key.h"

#include <cstring>

#include "core/gbk_text.h"

namespace {

constexpr char kSeparators[] = "/\\:*?\"<>|";
constexpr size_t kMaxHostKeyBytes = 200;

bool IsSeparatorOrDot(char c) {
  return c == '.' || (c != '\0' && std::strchr(kSeparators, c) != nullptr);
}

}  // namespace

std::string UrlCacheKey(const std::string& url) {
  std::string key = gbk::ToLower(url);

  const char kScheme[] = "http://";
  size_t scheme = gbk::Find(key, kScheme);
  if (scheme != std::string::npos) key.erase(0, scheme + sizeof(kScheme) - 1);

  size_t start = 0;
  while (start < key.size() && IsSeparatorOrDot(key[start])) ++start;
  key.erase(0, start);

  // '/' is below the GBK trail-byte range, so a plain search is safe here.
  size_t slash = key.find('/');
  if (slash != std::string::npos) key.erase(slash);

  // Walk whole characters: '\\' and '|' can be trail bytes of a double-byte
  // character and must stay untouched there.
  for (size_t i = 0; i < key.size();) {
    if (gbk::IsLeadByte(static_cast<unsigned char>(key[i])) && i + 1 < key.size()) {
      i += 2;
      continue;
    }
    if (IsSeparatorOrDot(key[i])) key[i] = '_';
    ++i;
  }

  // Cut on a whole character so the folder name never ends in half of one.
  return std::string(gbk::CutToBytes(key, kMaxHostKeyBytes));
}
