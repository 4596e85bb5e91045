// The update list: which file to download and which command to run. Only its
// first entry (section "list0") is ever read.
#pragma once

#include <string>

#include "core/update_list_rules.h"

// The update list URL for this installer version from the setup description's
// [config] section: "1.0", else "other"; empty when neither has a value.
std::string FindUpdateListUrl(const std::string& description_path);

// Reads the first entry of a downloaded update list (texts cut to
// kUpdateTextBytes - 1 bytes).
UpdateEntry ReadUpdateEntry(const std::string& list_path);

// True when the file starts like a Windows program image: the COFF machine
// type at the PE header's offset is i386, MIPS R4000 or AMD64.
bool IsPeImage(const std::string& path);
