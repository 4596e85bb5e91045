// The update list's decisions: which actions an entry asks for and whether it
// may be carried out, free of I/O. Reading the list from its file is
// app/update_list.h.
#pragma once

#include <string>

// "action" bits; other bits are ignored.
enum UpdateAction : int {
  UPDATE_ACTION_COMMAND = 1,   // run "cmd"
  UPDATE_ACTION_DOWNLOAD = 2,  // download "srcfile" to "destfile"
};

// Each text of an entry is read into a buffer of this many bytes (cut to one
// less on a whole character).
constexpr int kUpdateTextBytes = 260;

struct UpdateEntry {
  int action = -1;  // -1 when the key, section or file is missing
  std::string srcfile;
  std::string destfile;
  std::string cmd;
  std::string agencyExeUrl;  // defaults to the download server's base URL
};

// Checks an entry before anything is downloaded; returns the error text to
// show, or an empty string when the entry can be carried out.
std::string ValidateUpdateEntry(const UpdateEntry& entry);
