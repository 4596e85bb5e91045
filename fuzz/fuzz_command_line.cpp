// The installer's command line ("-path ", "-delpath ") and the uninstaller's.
#include "core/command_line.h"
#include "fuzz_util.h"
#include "core/uninstall_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line = ExactCopy(std::string_view(reinterpret_cast<const char*>(data), size));
  const CommandLineOptions options = ParseCommandLine(line);
  if (options.installFolder.size() > line.size() || options.deletePath.size() > line.size())
    __builtin_trap();
  (void)uninstall::SplitCommandLine(line);
  uninstall::Options parsed;
  (void)uninstall::ParseCommandLine(line, &parsed);
  return 0;
}
