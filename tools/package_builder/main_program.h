// The program the installer's shortcuts start, and where an entry lands
// below the install folder: what `build` and `list` both check a package for.
#pragma once

#include <string>
#include <string_view>

// The main program, relative to the install folder, and where the builder
// learnt its name (for the messages).
struct MainProgram {
  std::string name;  // GBK
  std::string source;
};

// The main program's name from the setup description, from --main-program,
// or main.exe, the name the installer gives an agency's own program.
bool FindMainProgram(const std::string& setup, const std::string& main_program, bool convert_utf8,
                     MainProgram* program, std::string* error);

bool IsMainProgram(const MainProgram& program, std::string_view installed_path);

// Why a package without the main program is refused.
std::string MissingProgram(const MainProgram& program, const std::string& package);

// The entry name without its top-level folder, as the installer writes it
// below the install folder: from its first separator on, empty without one.
std::string InstalledPath(const std::string& entry_name);
