#include "package/package_archive.h"

#include <windows.h>

#include <unzip.h>
#include <iowin32.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "core/gbk_text.h"
#include "core/safe_path.h"
#include "package/file_write_queue.h"
#include "system/file_attributes.h"
#include "system/scoped_handle.h"

namespace {

// Last "\" or "/" that is a separator and not the trail byte of a character.
size_t LastSeparator(std::string_view s) {
  const std::vector<size_t> seps = gbk::FindPathSeparators(s);
  return seps.empty() ? std::string_view::npos : seps.back();
}

int32_t SaturateToInt32(ZPOS64_T v) {
  return v > static_cast<ZPOS64_T>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(v);
}

bool IsZero(const FILETIME& ft) { return ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0; }

// What a failed open, read or close of a member means.
ExtractStatus ReadFailure(int rc) {
#ifdef UNZ_BADPASSWORD
  if (rc == UNZ_BADPASSWORD) return ExtractStatus::kWrongPassword;
#endif
  (void)rc;
  return ExtractStatus::kDataError;
}

// The open member's local extra field (the attributes' home).
bool ReadLocalExtra(unzFile zip, std::vector<uint8_t>* extra) {
  const int extra_size = unzGetLocalExtrafield(zip, nullptr, 0);
  if (extra_size < 0) return false;
  if (extra_size == 0) return true;
  extra->resize(static_cast<size_t>(extra_size));
  return unzGetLocalExtrafield(zip, extra->data(), static_cast<unsigned>(extra->size())) ==
         extra_size;
}

}  // namespace

std::unique_ptr<PackageArchive> PackageArchive::Open(const std::string& path,
                                                     std::string_view password) {
  std::unique_ptr<PackageArchive> archive(new PackageArchive());
  archive->password_.assign(password.data(), password.size());
  char cwd[MAX_PATH + 1] = {};
  DWORD n = ::GetCurrentDirectoryA(sizeof cwd, cwd);
  archive->SetBaseFolder(n > 0 && n < sizeof cwd ? std::string(cwd, n) : std::string());
  zlib_filefunc64_def io;
  // iowin32 opens for reading with FILE_SHARE_READ and OPEN_EXISTING.
  fill_win32_filefunc64A(&io);
  archive->zip_ = unzOpen2_64(path.c_str(), &io);
  if (archive->zip_ == nullptr) return nullptr;
  return archive;
}

PackageArchive::~PackageArchive() { Close(); }

void PackageArchive::SetBaseFolder(const std::string& folder) {
  base_ = folder;
  if (!gbk::EndsWithPathSeparator(base_)) base_ += '\\';
}

void PackageArchive::CloseMember() {
  if (member_open_) unzCloseCurrentFile(zip_);
  member_open_ = false;
}

bool PackageArchive::CloseMemberAndCount() {
  if (zip_ == nullptr) return false;
  CloseMember();
  unz_global_info64 global{};
  return unzGetGlobalInfo64(zip_, &global) == UNZ_OK && global.number_entry > 0;
}

void PackageArchive::Close() {
  if (zip_ != nullptr) {
    CloseMember();
    unzClose(zip_);
    zip_ = nullptr;
  }
  password_.assign(password_.size(), '\0');
  password_.clear();
}

EntryStatus PackageArchive::GetFirstEntry(ArchiveEntry* out) {
  if (!CloseMemberAndCount()) return EntryStatus::kArgumentError;
  if (entry_cached_) {
    *out = entry_;
    return EntryStatus::kOk;
  }
  if (unzGoToFirstFile(zip_) != UNZ_OK) return EntryStatus::kCorrupt;
  unz_file_info64 info{};
  std::vector<char> raw_name(65536 + 1, '\0');  // names are at most 64 KiB
  if (unzGetCurrentFileInfo64(zip_, &info, raw_name.data(), 65536, nullptr, 0, nullptr, 0) !=
      UNZ_OK) {
    return EntryStatus::kReadError;
  }
  // Opening the member raw compares its local header with the central directory.
  if (unzOpenCurrentFile2(zip_, nullptr, nullptr, 1) != UNZ_OK) return EntryStatus::kCorrupt;
  member_open_ = true;
  std::vector<uint8_t> extra;
  const bool extra_read = ReadLocalExtra(zip_, &extra);
  CloseMember();
  if (!extra_read) return EntryStatus::kReadError;

  ArchiveEntry entry{};
  const std::string name =
      SanitizeMemberName(std::string_view(raw_name.data(), std::min<size_t>(info.size_filename, 65536)));
  // A name that still climbs out of the base folder is refused rather than
  // written somewhere else; one that does not fit the name field likewise.
  if (!StaysInsideFolder(name) || name.size() >= sizeof entry.name ||
      name.find('\0') != std::string::npos) {
    return EntryStatus::kRefusedName;
  }
  gbk::CopyToBuffer(entry.name, sizeof entry.name, name);
  entry.attributes = MapZipAttributes(info.version, info.external_fa);
  SYSTEMTIME local{};
  FILETIME local_ft{}, utc{};
  if (DecodeDosDateTime(info.dosDate, &local) && ::SystemTimeToFileTime(&local, &local_ft) &&
      ::LocalFileTimeToFileTime(&local_ft, &utc)) {
    entry.access_time = entry.creation_time = entry.write_time = utc;
  }
  const ExtraTimes times = ScanExtraTimes(extra.data(), extra.size());
  if (times.has_write) entry.write_time = UnixTimeToFileTime(times.write);
  if (times.has_access) entry.access_time = UnixTimeToFileTime(times.access);
  if (times.has_creation) entry.creation_time = UnixTimeToFileTime(times.creation);
  entry.compressed_size = SaturateToInt32(info.compressed_size);
  entry.uncompressed_size = SaturateToInt32(info.uncompressed_size);
  entry_ = entry;
  entry_cached_ = true;
  *out = entry;
  return EntryStatus::kOk;
}

ExtractStatus PackageArchive::ExtractFirstEntry(const std::string& name, const StopCheck& stop) {
  if (!CloseMemberAndCount()) return ExtractStatus::kArgumentError;
  ArchiveEntry entry;
  if (GetFirstEntry(&entry) != EntryStatus::kOk) return ExtractStatus::kEntryUnreadable;
  if (unzGoToFirstFile(zip_) != UNZ_OK) return ExtractStatus::kEntryUnreadable;

  // Only names below the base folder are written: no leading separator, and
  // (StaysInsideFolder) no drive and no parent steps.
  const bool leading_separator = !name.empty() && (name[0] == '\\' || name[0] == '/');
  if (leading_separator || !StaysInsideFolder(name)) return ExtractStatus::kRefusedName;

  if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
    EnsureDirectory(base_, name);
    return ExtractStatus::kOk;
  }
  const size_t sep = LastSeparator(name);
  EnsureDirectory(base_, sep == std::string::npos ? std::string() : name.substr(0, sep + 1));
  const std::string path = base_ + name;

  // An old copy marked read-only, hidden or system would make the create fail.
  ClearMarksForReplacing(path);
  DWORD attributes = entry.attributes & ~DWORD{FILE_ATTRIBUTE_DIRECTORY};
  ScopedFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ExtractStatus::kCannotCreate;

  ExtractStatus status = CopyMember(file.get(), stop);
  if (status == ExtractStatus::kOk) {
    ::SetFileTime(file.get(), IsZero(entry.creation_time) ? nullptr : &entry.creation_time,
                  IsZero(entry.access_time) ? nullptr : &entry.access_time,
                  IsZero(entry.write_time) ? nullptr : &entry.write_time);
  }
  CloseMember();
  file.reset();
  if (status != ExtractStatus::kOk) DeleteFileForce(path);
  return status;
}

// minizip undoes the traditional PKWARE cipher and inflates; the member's
// CRC is checked when it is closed, so a damaged member never counts as
// extracted. The zlib contrib reader does not test the cipher's check byte, so
// a wrong password mostly shows up as a data or CRC error; readers that do
// test it answer UNZ_BADPASSWORD.
ExtractStatus PackageArchive::CopyMember(void* file, const StopCheck& stop) {
  unz_file_info64 info{};
  if (unzGetCurrentFileInfo64(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return ExtractStatus::kDataError;
  }
  // minizip would copy a member of any other method as if it were stored.
  if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) {
    return ExtractStatus::kDataError;
  }
  // minizip deciphers whenever it is given a password, so a plain member is
  // opened without one.
  const char* password = (info.flag & 1) ? password_.c_str() : nullptr;
  int rc = unzOpenCurrentFilePassword(zip_, password);
  if (rc != UNZ_OK) return ReadFailure(rc);
  member_open_ = true;

  // Deciphering and inflating go on while the pieces before are written.
  FileWriteQueue writer;
  writer.BeginBorrowed(static_cast<HANDLE>(file), std::string());  // borrowed
  for (;;) {
    if (StopRaised(stop)) return ExtractStatus::kStopped;
    uint8_t* piece = writer.Piece();
    if (!piece) return ExtractStatus::kWriteError;
    const int got = unzReadCurrentFile(zip_, piece, static_cast<unsigned>(FileWriteQueue::kPieceSize));
    if (got < 0) return ReadFailure(got);
    writer.Fill(static_cast<size_t>(got));
    if (got == 0) {
      if (unzeof(zip_) != 1) return ExtractStatus::kDataError;
      break;
    }
  }
  writer.End();
  if (!writer.Finish(nullptr)) return ExtractStatus::kWriteError;
  member_open_ = false;
  rc = unzCloseCurrentFile(zip_);
  return rc == UNZ_OK ? ExtractStatus::kOk : ReadFailure(rc);
}

bool EnsureDirectory(const std::string& root, const std::string& dir) {
  if (!root.empty() && !PathExists(root)) ::CreateDirectoryA(root.c_str(), nullptr);
  if (dir.empty()) return root.empty() || PathExists(root);
  const size_t sep = LastSeparator(dir);
  if (sep != std::string::npos && sep > 0) EnsureDirectory(root, dir.substr(0, sep));
  const std::string full = root + dir;
  if (!PathExists(full)) ::CreateDirectoryA(full.c_str(), nullptr);
  return PathExists(full);
}
