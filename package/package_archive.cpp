#include "package/package_archive.h"

#include <windows.h>

#include <unzip.h>
#include <iowin32.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "config/gbk_text.h"
#include "package/safe_path.h"
#include "system/scoped_handle.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool PathExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Last "\" or "/" that is a separator and not the trail byte of a character.
size_t LastSeparator(std::string_view s) {
  size_t back = gbk::FindLastChar(s, '\\');
  size_t fwd = gbk::FindLastChar(s, '/');
  if (back == std::string_view::npos) return fwd;
  if (fwd == std::string_view::npos) return back;
  return std::max(back, fwd);
}

int32_t SaturateToInt32(ZPOS64_T v) {
  return v > static_cast<ZPOS64_T>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(v);
}

bool IsZero(const FILETIME& ft) { return ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0; }

// The traditional PKWARE cipher's key state, used only to check the password
// against the encryption header before any data is written.
class PkwareKeys {
 public:
  explicit PkwareKeys(std::string_view password) : crc_(get_crc_table()) {
    for (char c : password) Update(static_cast<uint8_t>(c));
  }
  uint8_t Decrypt(uint8_t c) {
    uint32_t t = (keys_[2] & 0xFFFF) | 2;
    uint8_t plain = c ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    Update(plain);
    return plain;
  }

 private:
  uint32_t Crc(uint32_t crc, uint8_t b) const { return crc_[(crc ^ b) & 0xFF] ^ (crc >> 8); }
  void Update(uint8_t c) {
    keys_[0] = Crc(keys_[0], c);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
    keys_[2] = Crc(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
  }
  const z_crc_t* crc_;
  uint32_t keys_[3] = {305419896u, 591751049u, 878082192u};
};

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
  if (base_.empty() || !IsSeparator(base_.back())) base_ += '\\';
}

void PackageArchive::CloseMember() {
  if (member_open_) unzCloseCurrentFile(zip_);
  member_open_ = false;
}

void PackageArchive::Close() {
  if (zip_ != nullptr) {
    CloseMember();
    unzClose(zip_);
    zip_ = nullptr;
  }
  password_.assign(password_.size(), '\0');
  password_.clear();
  buffer_.reset();
}

EntryStatus PackageArchive::GetFirstEntry(ArchiveEntry* out) {
  if (zip_ == nullptr) return EntryStatus::kArgumentError;
  CloseMember();
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip_, &global) != UNZ_OK || global.number_entry == 0) {
    return EntryStatus::kArgumentError;
  }
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
  int extra_size = unzGetLocalExtrafield(zip_, nullptr, 0);
  if (extra_size > 0) {
    extra.resize(static_cast<size_t>(extra_size));
    if (unzGetLocalExtrafield(zip_, extra.data(), static_cast<unsigned>(extra.size())) !=
        extra_size) {
      CloseMember();
      return EntryStatus::kReadError;
    }
  } else if (extra_size < 0) {
    CloseMember();
    return EntryStatus::kReadError;
  }
  CloseMember();

  ArchiveEntry entry{};
  entry.index = 0;
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

ExtractStatus PackageArchive::ExtractFirstEntry(const std::string& name) {
  if (zip_ == nullptr) return ExtractStatus::kArgumentError;
  CloseMember();
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip_, &global) != UNZ_OK || global.number_entry == 0) {
    return ExtractStatus::kArgumentError;
  }
  if (unzGoToFirstFile(zip_) != UNZ_OK) return ExtractStatus::kEntryUnreadable;
  ArchiveEntry entry;
  if (GetFirstEntry(&entry) != EntryStatus::kOk) return ExtractStatus::kEntryUnreadable;
  if (unzGoToFirstFile(zip_) != UNZ_OK) return ExtractStatus::kEntryUnreadable;

  // Only names below the base folder are written: no drive, no leading
  // separator, no parent steps.
  const bool absolute = (!name.empty() && IsSeparator(name[0])) || (name.size() >= 2 && name[1] == ':');
  if (absolute || !StaysInsideFolder(name)) return ExtractStatus::kRefusedName;

  if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
    EnsureDirectory(base_, name);
    return ExtractStatus::kOk;
  }
  const size_t sep = LastSeparator(name);
  const std::string dir = sep == std::string::npos ? std::string() : name.substr(0, sep + 1);
  const std::string leaf = sep == std::string::npos ? name : name.substr(sep + 1);
  const std::string path = base_ + dir + leaf;
  EnsureDirectory(base_, dir);

  // An old copy marked read-only, hidden or system would make the create fail.
  DWORD old = ::GetFileAttributesA(path.c_str());
  if (old != INVALID_FILE_ATTRIBUTES && !(old & FILE_ATTRIBUTE_DIRECTORY) &&
      (old & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  DWORD attributes = entry.attributes & ~DWORD{FILE_ATTRIBUTE_DIRECTORY};
  ScopedFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ExtractStatus::kCannotCreate;

  ExtractStatus status = CopyMember(file.get());
  if (status == ExtractStatus::kOk) {
    ::SetFileTime(file.get(), IsZero(entry.creation_time) ? nullptr : &entry.creation_time,
                  IsZero(entry.access_time) ? nullptr : &entry.access_time,
                  IsZero(entry.write_time) ? nullptr : &entry.write_time);
  }
  CloseMember();
  file.reset();
  if (status != ExtractStatus::kOk) {
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path.c_str());
  }
  return status;
}

// minizip's reader is built without decryption, so the member is read raw:
// the PKWARE cipher is undone here and deflate is inflated with zlib, with the
// length and CRC checked at the end.
ExtractStatus PackageArchive::CopyMember(void* file) {
  unz_file_info64 info{};
  if (unzGetCurrentFileInfo64(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return ExtractStatus::kDataError;
  }
  const bool deflated = info.compression_method == Z_DEFLATED;
  if (!deflated && info.compression_method != 0) return ExtractStatus::kDataError;
  if (unzOpenCurrentFile2(zip_, nullptr, nullptr, 1) != UNZ_OK) return ExtractStatus::kDataError;
  member_open_ = true;
  if (!buffer_) buffer_.reset(new char[2 * kTransferSize]);
  uint8_t* const in = reinterpret_cast<uint8_t*>(buffer_.get());
  uint8_t* const out = in + kTransferSize;

  std::unique_ptr<PkwareKeys> keys;
  if (info.flag & 1) {
    keys.reset(new PkwareKeys(password_));
    uint8_t header[12];
    if (unzReadCurrentFile(zip_, header, sizeof header) != static_cast<int>(sizeof header)) {
      return ExtractStatus::kDataError;
    }
    uint8_t check = 0;
    for (uint8_t b : header) check = keys->Decrypt(b);
    // With a trailing data descriptor the check byte comes from the DOS time.
    const uint8_t expected = (info.flag & 8) ? static_cast<uint8_t>(info.dosDate >> 8)
                                             : static_cast<uint8_t>(info.crc >> 24);
    if (check != expected) return ExtractStatus::kWrongPassword;
  }

  z_stream z{};
  if (deflated && inflateInit2(&z, -MAX_WBITS) != Z_OK) return ExtractStatus::kDataError;
  struct InflateEnd {
    z_stream* z;
    bool active;
    ~InflateEnd() {
      if (active) inflateEnd(z);
    }
  } inflate_end{&z, deflated};

  HANDLE handle = static_cast<HANDLE>(file);  // borrowed
  auto write = [handle](const uint8_t* data, size_t size) {
    DWORD written = 0;
    return size == 0 || (::WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr) &&
                         written == size);
  };
  uLong crc = crc32(0, nullptr, 0);
  uint64_t total = 0;
  bool stream_end = !deflated;
  while (!(deflated && stream_end)) {
    int got = unzReadCurrentFile(zip_, in, kTransferSize);
    if (got < 0) return ExtractStatus::kDataError;
    if (got == 0) break;
    if (keys) {
      for (int i = 0; i < got; ++i) in[i] = keys->Decrypt(in[i]);
    }
    if (!deflated) {
      crc = crc32(crc, in, static_cast<uInt>(got));
      total += static_cast<uint64_t>(got);
      if (!write(in, static_cast<size_t>(got))) return ExtractStatus::kWriteError;
      continue;
    }
    z.next_in = in;
    z.avail_in = static_cast<uInt>(got);
    // A full output piece may leave more output pending: go round until
    // inflate has room to spare or the stream ends.
    do {
      z.next_out = out;
      z.avail_out = kTransferSize;
      int rc = inflate(&z, Z_NO_FLUSH);
      if (rc == Z_STREAM_END) {
        stream_end = true;
      } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
        return ExtractStatus::kDataError;
      }
      const size_t produced = kTransferSize - z.avail_out;
      crc = crc32(crc, out, static_cast<uInt>(produced));
      total += produced;
      if (!write(out, produced)) return ExtractStatus::kWriteError;
    } while (!stream_end && (z.avail_in > 0 || z.avail_out == 0));
  }
  CloseMember();
  if (!stream_end || total != info.uncompressed_size || crc != info.crc) {
    return ExtractStatus::kDataError;
  }
  return ExtractStatus::kOk;
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
