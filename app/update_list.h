// The update list: which file to download and which command to run. Only its
// first entry (section "list0") is ever read.
#pragma once

#include <string>

// "action" bits; other bits are ignored.
enum UpdateAction : int {
  UPDATE_ACTION_COMMAND = 1,   // run "cmd"
  UPDATE_ACTION_DOWNLOAD = 2,  // download "srcfile" to "destfile"
};

struct UpdateEntry {
  int action = -1;  // -1 when the key, section or file is missing
  std::string srcfile;
  std::string destfile;
  std::string cmd;
  std::string agencyExeUrl;  // defaults to the download server's base URL
};

// The update list URL for this installer version from the setup description's
// [config] section: "1.0", else "other"; empty when neither has a value.
std::string FindUpdateListUrl(const std::string& description_path);

// Reads the first entry of a downloaded update list (texts cut to 259 bytes).
UpdateEntry ReadUpdateEntry(const std::string& list_path);

// Checks an entry before anything is downloaded; returns the error text to
// show, or an empty string when the entry can be carried out.
std::string ValidateUpdateEntry(const UpdateEntry& entry);

// True when `name` stays below the install folder: relative, no drive letter
// or colon, no UNC prefix, no ".." component. One leading backslash is allowed.
bool IsSafeRelativeName(const std::string& name);

// True when the file starts like a Windows program image: the COFF machine
// type at the PE header's offset is i386, MIPS R4000 or AMD64.
bool IsPeImage(const std::string& path);
