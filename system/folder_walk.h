// The one loop over a folder's entries: a search for a pattern, every entry
// but "." and ".." handed to the caller with what the search found. Trees
// are walked by callers that visit the folders they meet (and decide which:
// a linked folder is listed or removed, never entered).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Searches `pattern` (a folder, "\" and a mask such as "*") and calls `visit`
// for each entry, the search still open. False when the search cannot start
// (a missing or unreadable folder, or a mask that matches nothing); an empty
// folder searched with "*" answers true.
bool VisitFolderEntries(const std::string& pattern,
                        const std::function<void(const WIN32_FIND_DATAA&)>& visit);
