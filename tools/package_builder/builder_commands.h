// The builder's commands as functions, so that `publish` builds its package
// on the same path, with the same checks, as `build`; and the checks they
// share: the texts the publisher ships (the installer and the installed client
// read them in code page 936, so a text saved as UTF-8 gives garbled names),
// and the program the installer's shortcuts start, with where an entry lands
// below the install folder (what `build` and `list` both check a package for).
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct BuildOptions {
  std::string top, member = "game.pak", setup, main_program;
  bool convert_utf8 = false;
};

// Says `message` on stderr as the builder's and returns `code`.
int Fail(int code, const std::string& message);

// `build`: exit code 0, 1 (refused, the reason on stderr) or 2.
int BuildPackage(const std::string& folder, const std::string& out_zip,
                 const BuildOptions& options);
// `list`: 0 when the package is sound, 1 on any defect.
int ListPackage(const std::string& zip_path, const BuildOptions& options);
// `text`: checks the texts published beside the package; converts UTF-8
// ones in place when asked.
int CheckTexts(const std::vector<std::string>& paths, bool convert_utf8);

// The signing commands, in the native build only (they need libcrypto):
// argv[0] is the command's name.
int KeygenCommand(int argc, char** argv);
int PublishCommand(int argc, char** argv);

// True for the names the installed client and the installer read as text:
// ".ini" and ".txt", in any case.
bool IsShippedText(std::string_view name);

// Makes `text` (the bytes of `path`) fit to ship: GBK stays as it is; UTF-8,
// with or without a byte-order mark, is converted to GBK when `convert_utf8`
// and refused otherwise; anything else is refused. `converted` tells whether
// the bytes changed. False, with the reason naming `path`, when refused.
bool PrepareShippedText(const std::string& path, bool convert_utf8, std::string* text,
                        bool* converted, std::string* error);

// Reads a text given on the command line and checks it as it will be
// published; with `convert_utf8` a UTF-8 file is rewritten in GBK.
bool LoadPublishedText(const std::string& path, bool convert_utf8, std::string* text,
                       std::string* error);

bool ReadWholeFile(const std::string& path, std::string* bytes);

// A stdio file, closed when its owner goes.
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

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
