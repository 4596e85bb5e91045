#include "core/url_cache_key.h"

#include <cstring>

#include "core/gbk_text.h"

namespace {

constexpr char kSeparators[] = "/\\:*?\"<>|";
constexpr size_t kMaxHostKeyBytes = 200;
constexpr char kHttpsKeyPrefix[] = "https__";

bool IsSeparatorOrDot(char c) {
  return c == '.' || (c != '\0' && std::strchr(kSeparators, c) != nullptr);
}

}  // namespace

std::string UrlCacheKey(const std::string& url) {
  std::string key = gbk::ToLower(url);

  // The first "http://" or "https://" in the text is taken for the scheme,
  // and what precedes it goes with it. HTTPS hosts get their own folders,
  // named "https__" + the key: a real HTTP host[:port] never gives two
  // underscores in a row, so the two never share a folder. HTTP keys stay
  // as they always were: stored records are found by them.
  const char kHttp[] = "http://";
  const char kHttps[] = "https://";
  const size_t http = gbk::Find(key, kHttp);
  const size_t https = gbk::Find(key, kHttps);
  std::string prefix;
  if (https != std::string::npos && (http == std::string::npos || https < http)) {
    key.erase(0, https + sizeof(kHttps) - 1);
    prefix = kHttpsKeyPrefix;
  } else if (http != std::string::npos) {
    key.erase(0, http + sizeof(kHttp) - 1);
  }

  size_t start = 0;
  while (start < key.size() && IsSeparatorOrDot(key[start])) ++start;
  key.erase(0, start);

  // '/' is below the GBK trail-byte range, so a plain search is safe here.
  size_t slash = key.find('/');
  if (slash != std::string::npos) key.erase(slash);

  // Walk whole characters: '\\' and '|' can be trail bytes of a double-byte
  // character and must stay untouched there.
  key = gbk::MapSingleBytes(key, [](char c) { return IsSeparatorOrDot(c) ? '_' : c; });

  // Cut on a whole character so the folder name never ends in half of one.
  return std::string(gbk::CutToBytes(prefix + key, kMaxHostKeyBytes));
}
