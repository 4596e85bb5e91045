// PackageArchive: the password-protected package zip, of which only the first
// member is used. Owns the minizip handle (and through it the file handle),
// the password copy and the transfer buffer; Close (or destruction) frees them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "package/archive_entry.h"
#include "package/stop_check.h"

enum class EntryStatus {
  kOk,
  kArgumentError,  // no members
  kCorrupt,        // local header disagrees with the central directory
  kReadError,      // short read of the member's headers
  kRefusedName,    // the name would still lead outside the base folder, or is too long
};

enum class ExtractStatus {
  kOk,
  kArgumentError,
  kEntryUnreadable,
  kRefusedName,
  kCannotCreate,
  kWrongPassword,  // only from readers that test the check byte; otherwise kDataError
  kDataError,
  kWriteError,
  kStopped,  // the stop request came; nothing is left of the file
};

class PackageArchive {
 public:
  // Opens the zip for reading (shared for reading, existing files only).
  // The base folder starts as the current directory.
  static std::unique_ptr<PackageArchive> Open(const std::string& path, std::string_view password);
  ~PackageArchive();
  PackageArchive(const PackageArchive&) = delete;
  PackageArchive& operator=(const PackageArchive&) = delete;

  // Files are written below this folder; a separator is appended when missing.
  void SetBaseFolder(const std::string& folder);
  const std::string& base_folder() const { return base_; }

  // Reads (once, then from the cache) the first member's sanitised name,
  // attributes, times and sizes.
  EntryStatus GetFirstEntry(ArchiveEntry* entry);

  // Writes the first member to base folder + `name`, creating folders on the
  // way, in 16 KiB pieces. A file left by a failed or stopped attempt is
  // removed, so a damaged member never looks like a complete pack. `stop` is
  // asked before each piece.
  ExtractStatus ExtractFirstEntry(const std::string& name, const StopCheck& stop = StopCheck());

  void Close();

 private:
  PackageArchive() = default;
  void CloseMember();
  // Closes an open member; false without an archive or without members.
  bool CloseMemberAndCount();
  ExtractStatus CopyMember(void* file, const StopCheck& stop);

  void* zip_ = nullptr;  // unzFile
  bool member_open_ = false;
  bool entry_cached_ = false;
  ArchiveEntry entry_{};
  std::string password_;
  std::string base_;
};

// Creates `root` (when given) and every missing folder of `dir` below it.
// Returns whether root + dir exists afterwards.
bool EnsureDirectory(const std::string& root, const std::string& dir);
