#include "core/command_line.h"

#include <algorithm>

#include "core/gbk_text.h"

namespace {

// The byte '"' is never the trail byte of a GBK character, so plain counting
// finds the quotes. A quote that is never closed opens no span.
bool InsideQuotes(std::string_view text, size_t at) {
  return std::count(text.begin(), text.begin() + at, '"') % 2 == 1 &&
         text.find('"', at) != std::string_view::npos;
}

// First occurrence of `option` that is not inside a quoted span (a quoted
// program path or value may hold "-path " itself).
size_t FindOption(std::string_view text, const char* option) {
  size_t at = gbk::Find(text, option);
  while (at != std::string::npos && InsideQuotes(text, at)) at = gbk::Find(text, option, at + 1);
  return at;
}

bool EndsWithBackslash(std::string_view s) {
  return !s.empty() && gbk::FindLastChar(s, '\\') == s.size() - 1;
}

// A quoted folder typed in cmd ends in \" ("C:\My Games\"), and programs that
// quote by the C runtime's rules double that backslash; either way one
// separator is meant.
std::string OneTrailingBackslash(std::string s) {
  while (EndsWithBackslash(s) && EndsWithBackslash(std::string_view(s).substr(0, s.size() - 1)))
    s.pop_back();
  return s;
}

// Finds `option`; on success stores the trimmed value and returns true. A
// value that opens with a double quote runs to the closing quote, dashes and
// blanks included; an unquoted one ends at the next "-".
bool TakeOption(const std::string& text, const char* option, std::string* value) {
  const size_t at = FindOption(text, option);
  if (at == std::string::npos) return false;
  const size_t start = at + std::char_traits<char>::length(option);
  const size_t open = text.find_first_not_of(" \t", start);
  if (open != std::string::npos && text[open] == '"') {
    const size_t close = text.find('"', open + 1);
    if (close != std::string::npos) {
      const std::string_view quoted = std::string_view(text).substr(open + 1, close - open - 1);
      *value = OneTrailingBackslash(gbk::Trim(quoted));
      return true;
    }
  }
  size_t end = gbk::Find(text, "-", at + 1);
  if (end == std::string::npos || end < start) end = end == std::string::npos ? text.size() : start;
  *value = gbk::Trim(std::string_view(text).substr(start, end - start));
  // An unclosed quote is dropped rather than kept as part of a folder name.
  if (!value->empty() && (*value)[0] == '"') *value = gbk::Trim(std::string_view(*value).substr(1));
  return true;
}

}  // namespace

CommandLineOptions ParseCommandLine(const std::string& command_line) {
  CommandLineOptions options;
  options.directInstall = TakeOption(command_line, "-path ", &options.installFolder);
  options.hasDeletePath = TakeOption(command_line, "-delpath ", &options.deletePath);
  return options;
}
