// The builder's commands as functions, so that `publish` builds its package
// on the same path, with the same checks, as `build`.
#pragma once

#include <string>
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
