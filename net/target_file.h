// The file a download writes: opened to be appended to or rewritten, its
// parent folder made when missing, and closed with the last write checked.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "system/scoped_handle.h"

// The file's size, UINT64_MAX when it cannot be read.
uint64_t TargetFileSize(const std::string& path);

// Opens `path` to be written from its start; null when it cannot be.
FILE* OpenForRewrite(const std::string& path);

// Opens the target to append to or to rewrite; when that fails, creates its
// parent folder (one level) and tries once more.
ScopedStdioFile OpenTarget(const std::string& path, bool append);

// Closes the file; false when the last bytes could not be written out.
bool CloseChecked(ScopedStdioFile* file);
