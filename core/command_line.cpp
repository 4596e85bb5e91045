#include "core/command_line.h"

#include "core/gbk_text.h"

namespace {

// Finds `option`; on success stores the trimmed value and returns true.
bool TakeOption(const std::string& text, const char* option, std::string* value) {
  const size_t at = gbk::Find(text, option);
  if (at == std::string::npos) return false;
  const size_t start = at + std::char_traits<char>::length(option);
  size_t end = gbk::Find(text, "-", at + 1);
  if (end == std::string::npos || end < start) end = end == std::string::npos ? text.size() : start;
  *value = gbk::Trim(std::string_view(text).substr(start, end - start));
  return true;
}

}  // namespace

CommandLineOptions ParseCommandLine(const std::string& command_line) {
  CommandLineOptions options;
  options.directInstall = TakeOption(command_line, "-path ", &options.installFolder);
  options.hasDeletePath = TakeOption(command_line, "-delpath ", &options.deletePath);
  return options;
}
