#include "builder_commands.h"

#include <algorithm>

#include "core/gbk_text.h"
#include "core/ini_text.h"
#include "core/safe_path.h"
#include "builder_host.h"

namespace {

// `name` without leading backslashes, as it follows the install folder.
std::string_view WithoutLeadingSeparators(std::string_view name) {
  while (!name.empty() && name.front() == '\\') name.remove_prefix(1);
  return name;
}

}  // namespace

bool FindMainProgram(const std::string& setup, const std::string& main_program, bool convert_utf8,
                     MainProgram* program, std::string* error) {
  if (!setup.empty()) {
    std::string text;
    if (!LoadPublishedText(setup, convert_utf8, &text, error)) return false;
    if (!FindIniValue(text, "setup", "exefilename", &program->name) || program->name.empty()) {
      *error = "setup description names no main program ([setup] exefilename): " + setup;
      return false;
    }
    program->source = "exefilename of " + setup;
  } else if (!main_program.empty()) {
    if (!ToPackageText(main_program, &program->name)) {
      *error = "main program name has no GBK spelling: " + main_program;
      return false;
    }
    program->source = "--main-program";
  } else {
    program->name = "main.exe";
    program->source = "the default; name it with --setup or --main-program";
  }
  // Windows takes "/" for "\" in the program path the shortcuts start.
  std::replace(program->name.begin(), program->name.end(), '/', '\\');
  const std::string installed = "\\" + std::string(WithoutLeadingSeparators(program->name));
  if (CheckInstallName(installed) != InstallName::kFits || gbk::EndsWithPathSeparator(installed)) {
    *error = "main program " + ForTerminal(program->name) + " (" + program->source +
             ") cannot be installed under that name";
    return false;
  }
  return true;
}

bool IsMainProgram(const MainProgram& program, std::string_view installed_path) {
  return gbk::EqualsIgnoreCase(WithoutLeadingSeparators(installed_path),
                               WithoutLeadingSeparators(program.name));
}

std::string MissingProgram(const MainProgram& program, const std::string& package) {
  return "main program " + ForTerminal(program.name) + " (" + program.source + ") is not in " +
         package + ": the installed shortcuts would start nothing";
}

std::string InstalledPath(const std::string& entry_name) {
  const size_t sep = entry_name.find('\\');
  return sep == std::string::npos ? std::string() : entry_name.substr(sep);
}
