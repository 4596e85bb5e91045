// The builder's commands as functions, so that `publish` builds its package
// on the same path, with the same checks, as `build`.
#pragma once

#include <string>

struct BuildOptions {
  std::string top, member = "game.pak", setup, main_program;
  bool convert_utf8 = false;
};

// `build`: exit code 0, 1 (refused, the reason on stderr) or 2.
int BuildPackage(const std::string& folder, const std::string& out_zip,
                 const BuildOptions& options);

// The signing commands, in the native build only (they need libcrypto):
// argv[0] is the command's name.
int KeygenCommand(int argc, char** argv);
int PublishCommand(int argc, char** argv);
