#include "core/gbk_text.h"

#include <algorithm>
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

// Length of the UTF-8 character at `s[i]`, 0 when it is not one (overlong
// forms, surrogates and values beyond U+10FFFF included).
size_t Utf8CharLength(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return 1;
  if (c < 0xC2 || c > 0xF4) return 0;
  const size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
  // The range of the second byte: E0 and F0 would start overlong forms below
  // it, ED surrogates and F4 values beyond U+10FFFF above it.
  const unsigned char min2 = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
  const unsigned char max2 = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char t = static_cast<unsigned char>(s[i + k]);
    if (t < (k == 1 ? min2 : 0x80) || t > (k == 1 ? max2 : 0xBF)) return 0;
  }
  return n;
}

// Whole UTF-8; `beyond_ascii` tells whether any character took more than a byte.
bool IsUtf8(std::string_view s, bool* beyond_ascii) {
  *beyond_ascii = false;
  for (size_t i = 0; i < s.size();) {
    const size_t n = Utf8CharLength(s, i);
    if (n == 0) return false;
    if (n > 1) *beyond_ascii = true;
    i += n;
  }
  return true;
}

// Whole characters of code page 936: single bytes up to 0x80 (0x80 is its euro
// sign), lead bytes 0x81..0xFE each followed by a trail byte 0x40..0xFE other
// than 0x7F.
bool IsGbk(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == 0xFF) return false;
    if (!IsLeadByte(c)) continue;
    if (i + 1 == s.size()) return false;
    const unsigned char t = static_cast<unsigned char>(s[++i]);
    if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
  }
  return true;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Indexes of the single-byte characters that `pick` takes, in order.
template <typename Pick>
std::vector<size_t> FindSingleBytes(std::string_view s, Pick pick) {
  std::vector<size_t> found;
  ForEachChar(s, [&](size_t i, size_t width) {
    if (width == 1 && pick(s[i])) found.push_back(i);
    return true;
  });
  return found;
}

}  // namespace

std::string MapSingleBytes(std::string_view s, char (*map)(char)) {
  std::string out(s);
  ForEachChar(s, [&](size_t i, size_t width) {
    if (width == 1) out[i] = map(out[i]);
    return true;
  });
  return out;
}

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

std::string ToLower(std::string_view s) { return MapSingleBytes(s, LowerAscii); }

std::string ToUpper(std::string_view s) { return MapSingleBytes(s, UpperAscii); }

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
  const std::vector<size_t> all = FindAllChars(s, c);
  return all.empty() ? std::string_view::npos : all.back();
}

std::vector<size_t> FindAllChars(std::string_view s, char c) {
  return FindSingleBytes(s, [c](char b) { return b == c; });
}

bool EndsInCutCharacter(std::string_view s) {
  bool cut = false;
  ForEachChar(s, [&](size_t i, size_t width) {
    cut = width == 1 && IsLeadByte(static_cast<unsigned char>(s[i]));
    return true;
  });
  return cut;
}

std::vector<size_t> FindPathSeparators(std::string_view path) {
  return FindSingleBytes(path, [](char b) { return b == '\\' || b == '/'; });
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
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

TextCoding ClassifyTextCoding(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return TextCoding::kUtf8WithBom;
  if (bytes.find('\0') != std::string_view::npos) return TextCoding::kNeither;
  bool beyond_ascii = false;
  const bool utf8 = IsUtf8(bytes, &beyond_ascii);
  if (utf8 && beyond_ascii) return TextCoding::kUtf8;
  if (IsGbk(bytes)) return TextCoding::kGbk;
  return TextCoding::kNeither;
}

}  // namespace gbk
