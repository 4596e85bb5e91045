// Narrow-text helpers for code page 936 (GBK). A lead byte is 0x81..0xFE and
// is always followed by one trail byte; ASCII letters are the only letters
// whose case changes. Every cut keeps whole characters, every copy into a
// fixed buffer is bounded.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace gbk {

inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Longest prefix of `s` of at most `max_bytes` bytes that ends on a whole character.
std::string_view CutToBytes(std::string_view s, size_t max_bytes);

// Copies `src` into `dst` (capacity `dst_size` including the NUL), cut on a
// whole character. Returns false when it had to cut. dst_size must be >= 1.
bool CopyToBuffer(char* dst, size_t dst_size, std::string_view src);

// printf into a string, then cut to `max_bytes` on a whole character.
std::string FormatCut(size_t max_bytes, const char* format, ...)
#if defined(__GNUC__) && !defined(__clang__)
    __attribute__((format(gnu_printf, 2, 3)))
#elif defined(__clang__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// printf into a string of any length.
std::string Format(const char* format, ...)
#if defined(__GNUC__) && !defined(__clang__)
    __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__clang__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// `s` with `map` applied to every single-byte character (double-byte ones
// stay as they are, whatever their trail byte).
std::string MapSingleBytes(std::string_view s, char (*map)(char));

// Case changes that leave double-byte characters alone.
std::string ToLower(std::string_view s);
std::string ToUpper(std::string_view s);

// Finds `needle` in `hay` starting at byte `from`; a match never starts on a
// trail byte. Returns npos when absent.
size_t Find(std::string_view hay, std::string_view needle, size_t from = 0);

// Index of the last occurrence of the single-byte character `c` that is not a
// trail byte, or npos.
size_t FindLastChar(std::string_view s, char c);

// Indexes of every single-byte `c` that is not a trail byte, in order: the
// separators of a GBK path ("a\乗\b" has two, not three).
std::vector<size_t> FindAllChars(std::string_view s, char c);

// Indexes of every "\\" and "/" that separates path components, in order: a
// trail byte 0x5C belongs to its character. Every walk over a GBK path's
// components goes through here.
std::vector<size_t> FindPathSeparators(std::string_view path);

// True when the last byte is a lead byte with no trail byte after it: the
// text was cut inside a character.
bool EndsInCutCharacter(std::string_view s);

// True when a path ends in "/" or in a "\" that is a character of its own,
// not the trail byte of a double-byte character such as 乗 (0x81 0x5C).
bool EndsWithPathSeparator(std::string_view path);

// The lines of `text` split at LF, each without the CR before its LF. A last
// line without LF counts; nothing after a final LF does. (LF and CR are never
// trail bytes.)
std::vector<std::string_view> SplitLines(std::string_view text);

// Removes blanks, tabs, CR and LF at both ends.
std::string Trim(std::string_view s);

// Compares ignoring the case of ASCII letters (double-byte characters exactly).
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// How a text file is saved, as far as its bytes tell. The installer reads its
// texts in code page 936, so only kGbk is fit to ship.
enum class TextCoding {
  kGbk,          // ASCII, or whole GBK characters that do not also read as UTF-8
  kUtf8,         // UTF-8 with characters beyond ASCII, no byte-order mark
  kUtf8WithBom,  // starts with EF BB BF (the rest may be anything)
  kNeither,      // a cut or impossible character, a NUL (UTF-16), 0xFF
};
// A text that is whole GBK and whole UTF-8 at once counts as UTF-8: Chinese in
// GBK almost never forms valid UTF-8 beyond a character or two, while Chinese
// saved as UTF-8 often pairs up into GBK byte pairs.
TextCoding ClassifyTextCoding(std::string_view bytes);

}  // namespace gbk
