#include "core/gbk_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace gbk {
namespace {

std::string VFormat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed <= 0) return std::string();
  std::vector<char> buf(static_cast<size_t>(needed) + 1);
  std::vsnprintf(buf.data(), buf.size(), format, args);
  return std::string(buf.data(), static_cast<size_t>(needed));
}

// Calls `fn(i, width)` for each character of `s`; stops when fn returns false.
template <typename Fn>
void ForEachChar(std::string_view s, Fn fn) {
  size_t i = 0;
  while (i < s.size()) {
    size_t width = (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
    if (!fn(i, width)) return;
    i += width;
  }
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string_view CutToBytes(std::string_view s, size_t max_bytes) {
  if (s.size() <= max_bytes) return s;
  size_t keep = 0;
  ForEachChar(s, [&](size_t i, size_t width) {
    if (i + width > max_bytes) return false;
    keep = i + width;
    return true;
  });
  return s.substr(0, keep);
}

bool CopyToBuffer(char* dst, size_t dst_size, std::string_view src) {
  if (dst_size == 0) return false;
  std::string_view cut = CutToBytes(src, dst_size - 1);
  std::memcpy(dst, cut.data(), cut.size());
  dst[cut.size()] = '\0';
  return cut.size() == src.size();
}

std::string FormatCut(size_t max_bytes, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string s = VFormat(format, args);
  va_end(args);
  return std::string(CutToBytes(s, max_bytes));
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string s = VFormat(format, args);
  va_end(args);
  return s;
}

std::string ToLower(std::string_view s) {
  std::string out(s);
  ForEachChar(s, [&](size_t i, size_t width) {
    if (width == 1) out[i] = LowerAscii(out[i]);
    return true;
  });
  return out;
}

std::string ToUpper(std::string_view s) {
  std::string out(s);
  ForEachChar(s, [&](size_t i, size_t width) {
    if (width == 1) out[i] = UpperAscii(out[i]);
    return true;
  });
  return out;
}

size_t Find(std::string_view hay, std::string_view needle, size_t from) {
  if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
  size_t found = std::string_view::npos;
  ForEachChar(hay, [&](size_t i, size_t) {
    if (i >= from && hay.compare(i, needle.size(), needle) == 0 &&
        i + needle.size() <= hay.size()) {
      found = i;
      return false;
    }
    return true;
  });
  return found;
}

size_t FindLastChar(std::string_view s, char c) {
  size_t found = std::string_view::npos;
  ForEachChar(s, [&](size_t i, size_t width) {
    if (width == 1 && s[i] == c) found = i;
    return true;
  });
  return found;
}

std::string Trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t b = 0, e = s.size();
  while (b < e && blank(s[b])) ++b;
  while (e > b && blank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return ToLower(a) == ToLower(b);
}

bool EndsWithPathSeparator(std::string_view path) {
  if (path.empty()) return false;
  if (path.back() == '/') return true;  // '/' is never a trail byte
  return FindLastChar(path, '\\') == path.size() - 1;
}

}  // namespace gbk
