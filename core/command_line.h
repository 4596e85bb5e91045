// The installer's two command-line options, "-path " and "-delpath " (both
// with their trailing blank). Each value runs to the next "-" after the
// option's own dash, or to the end, and is trimmed; only the first occurrence
// of each option counts. A value in double quotes (a folder with blanks, as
// typed in cmd) runs to its closing quote instead and loses the quotes.
#pragma once

#include <string>

struct CommandLineOptions {
  bool directInstall = false;  // "-path " present, even with an empty value
  std::string installFolder;
  bool hasDeletePath = false;
  std::string deletePath;
};

// Parses the whole GetCommandLineA text (program path included); GBK-aware.
CommandLineOptions ParseCommandLine(const std::string& command_line);
