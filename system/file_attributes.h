// What a path names, and read-only files: the one rule for clearing the mark
// that refuses a delete or an open for writing, and for deleting through it.
#pragma once

#include <string>

// Whether `path` names anything, a folder, or a file (anything but a folder).
// A path the system cannot ask about names nothing.
bool PathExists(const std::string& path);
bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);

// What ClearReadOnly may touch besides plain files.
enum class ReadOnlyScope {
  kFiles,             // files that are not links: a link's change could reach its target
  kFilesAndLinks,     // also a link to a file, which is about to be written through anyway
  kFilesAndFolders,   // also a folder that is not a link
};

// Clears the read-only mark of `path`, leaving its other attributes. True
// when a mark was there and is gone now.
bool ClearReadOnly(const std::string& path, ReadOnlyScope scope = ReadOnlyScope::kFiles);

// CREATE_ALWAYS refuses to replace a file marked read-only, hidden or system
// unless the new attributes repeat the marks: such a file (not a folder) is
// made a plain one. True when it was.
bool ClearMarksForReplacing(const std::string& path);

// DeleteFileA; refused for a read-only file (not a link), the mark is
// cleared and the delete tried once more. On failure GetLastError() tells
// why the last delete failed.
bool DeleteFileForce(const std::string& path);
