#include "package/extract_package.h"

#include <algorithm>
#include <memory>

#include "system/setup_messages.h"
#include "core/buffer_limits.h"
#include "core/gbk_text.h"
#include "package/file_write_queue.h"
#include "package/free_space.h"
#include "package/pack_decrypt.h"
#include "core/pack_directory.h"
#include "package/package_archive.h"
#include "core/path_join.h"
#include "core/safe_path.h"
#include "system/file_attributes.h"
#include "system/scoped_handle.h"
#include "system/seams.h"
#include "system/trace.h"

const char kExtractFailedText[] = "解压文件失败";

// Progress seen by the window over the whole step:
//   0..25  the pack's directory coming in from the file (DecryptPackFile),
//   25     directory read,
//   25..49 every entry checked (data inside the pack, something to install,
//          free space), by entries,
//   50     checks passed,
//   50..100 files written, by entries handed to the writing thread (a few
//           files ahead of the disk), then 100 once all are on the disk.
namespace {

// A scanner may hold a freshly written file for a moment: a target that will
// not open is tried again for about two seconds before the step fails.
constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryMs = 200;

enum class EntryKind {
  kFile,      // written below the install folder
  kFolder,    // no file: a name without a folder part, or one ending in a separator
  kUnsafe,    // would leave the install folder: skipped
};

struct EntryTarget {
  EntryKind kind;
  std::string relative;  // from the entry's first backslash on
};

EntryTarget Classify(std::string_view name) {
  const std::vector<size_t> seps = gbk::FindAllChars(name, '\\');
  EntryTarget t{EntryKind::kFile, seps.empty() ? std::string() : std::string(name.substr(seps.front()))};
  if (!StaysInsideFolder(t.relative)) {
    t.kind = EntryKind::kUnsafe;
  } else if (t.relative.empty() || t.relative.back() == '/' ||
             gbk::FindAllChars(t.relative, '\\').back() + 1 == t.relative.size()) {
    t.kind = EntryKind::kFolder;
  }
  return t;
}

std::string CannotWrite(const std::string& target) {
  return gbk::FormatCut(kMessageTextMax, "无法写入文件:%s", target.c_str());
}

ScopedFileHandle CreateTarget(const std::string& target) {
  // OPEN_ALWAYS keeps the attributes of a file it replaces (a hidden file
  // cannot be replaced by CREATE_ALWAYS without naming its attributes).
  // Shared like a C runtime "wb" open, so a reader that shares writing does
  // not stop the installation.
  return ScopedFileHandle(::CreateFileA(target.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

// One try at opening a target empty. The common case, a new file, costs a
// single call; a copy from an earlier installation loses its read-only mark
// (which refuses the open on Windows) and is emptied.
ScopedFileHandle TryOpenTarget(const std::string& target) {
  ScopedFileHandle file = CreateTarget(target);
  const DWORD error = ::GetLastError();
  if (file ? error != ERROR_ALREADY_EXISTS : error != ERROR_ACCESS_DENIED) return file;
  if (ClearReadOnly(target, ReadOnlyScope::kFilesAndLinks) && !file) file = CreateTarget(target);
  if (file && !::SetEndOfFile(file.get())) file.reset();
  return file;
}

// Opens a target for writing, retrying for a short bounded time.
ScopedFileHandle OpenTarget(const std::string& target) {
  for (int attempt = 1;; ++attempt) {
    ScopedFileHandle file = TryOpenTarget(target);
    if (file || attempt == kOpenAttempts) return file;
    seams::SleepMs(kOpenRetryMs);
  }
}

enum class Queued { kWhole, kPackUnreadable, kStopped };

// Hands one listed file from the pack to the writing thread. When the pack
// becomes unreadable or the stop comes, the file is dropped (and removed). A
// file that cannot be opened or written fails the queue, which Finish()
// reports.
Queued QueueTarget(const std::string& target, PackBodyReader& reader, const PackSpan& span,
                   FileWriteQueue& writer, const StopCheck& stop) {
  writer.Begin([target] { return OpenTarget(target); }, target, CannotWrite(target));
  const uint64_t size = static_cast<uint32_t>(span.size);
  for (uint64_t done = 0; done < size;) {
    if (StopRaised(stop)) {
      writer.Abandon();
      return Queued::kStopped;
    }
    uint8_t* piece = writer.Piece();
    if (!piece) return Queued::kWhole;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(FileWriteQueue::kPieceSize, size - done));
    if (!reader.Read(static_cast<uint32_t>(span.offset) + done, piece, n)) {
      TraceLine(gbk::Format("kvx-log: pack unreadable, dropping %s", target.c_str()));
      writer.Abandon();
      return Queued::kPackUnreadable;
    }
    writer.Fill(n);
    done += n;
  }
  writer.End();
  return Queued::kWhole;
}

// Space the listed files need beyond what the files they replace free.
uint64_t SpaceAfterReplacing(const PackDirectory& directory, const std::string& folder,
                             uint64_t needed, const StopCheck& stop) {
  for (size_t i = 0; i < directory.size() && !StopRaised(stop); ++i) {
    const EntryTarget t = Classify(directory[i].name);
    if (t.kind != EntryKind::kFile) continue;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(JoinPath(folder, t.relative).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      continue;
    }
    const uint64_t old = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    needed -= std::min(needed, old);
  }
  return needed;
}

// Removes the extracted pack of a failed step: it is rebuilt from the package
// on the next attempt, and leaving it would double the space the step holds.
void RemovePack(const std::string& pack_path) {
  if (DeleteFileForce(pack_path))
    TraceLine(gbk::Format("kvx-log: deleted %s", pack_path.c_str()));
}

// A pack left by a run that ended mid-step would be taken for the new one if
// it could not be replaced, and its room counted as taken: it goes first. A
// scanner may hold it for a moment, so it is tried for as long as a target.
// False when something is still there.
bool RemoveStalePack(const std::string& pack_path) {
  for (int attempt = 1;; ++attempt) {
    if (::GetFileAttributesA(pack_path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    RemovePack(pack_path);
    if (::GetFileAttributesA(pack_path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    if (attempt == kOpenAttempts) return false;
    seams::SleepMs(kOpenRetryMs);
  }
}

bool Fail(std::string* message, const std::string& text) {
  if (message) *message = text;
  return true;
}

}  // namespace

bool ExtractPackage(HWND window, const char* package_name, const char* install_folder,
                    std::string* message, const StopCheck& stop,
                    std::vector<std::string>* installed) {
  const std::string folder = install_folder ? install_folder : "";
  const std::string package_path = JoinPath(folder, package_name ? package_name : "");
  // The user's own stop has no text of its own.
  auto stopped = [&](const std::string& pack_path) {
    TraceLine(gbk::Format("kvx-out: extraction of %s stopped", package_path.c_str()));
    if (!pack_path.empty()) RemovePack(pack_path);
    return Fail(message, std::string());
  };
  if (StopRaised(stop)) return stopped(std::string());

  // An archive that cannot be opened or read installs nothing: that is a
  // failed extraction, not a success.
  std::unique_ptr<PackageArchive> archive = PackageArchive::Open(package_path, kPackagePassword);
  if (!archive) {
    TraceLine(gbk::Format("kvx-out: cannot open package %s", package_path.c_str()));
    return Fail(message, kExtractFailedText);
  }
  archive->SetBaseFolder(folder);
  ArchiveEntry entry;
  EntryStatus entry_status = archive->GetFirstEntry(&entry);
  if (entry_status != EntryStatus::kOk || entry.uncompressed_size <= 0) {
    TraceLine(gbk::Format("kvx-out: package %s has no usable first member", package_path.c_str()));
    return Fail(message, kExtractFailedText);
  }
  const std::string pack_path = JoinPath(folder, entry.name);
  if (!RemoveStalePack(pack_path)) {
    TraceLine(gbk::Format("kvx-out: an earlier pack %s cannot be removed", pack_path.c_str()));
    return Fail(message, kExtractFailedText);
  }
  const std::string no_room_for_pack =
      NoRoomMessage(QueryVolumeSpace(folder), static_cast<uint32_t>(entry.uncompressed_size));
  if (!no_room_for_pack.empty()) return Fail(message, no_room_for_pack);
  // Only a pack extracted whole is read: anything else is a failed step.
  const ExtractStatus extract_status = archive->ExtractFirstEntry(entry.name, stop);
  archive->Close();
  archive.reset();
  if (extract_status == ExtractStatus::kStopped) return stopped(pack_path);
  if (extract_status != ExtractStatus::kOk) {
    TraceLine(gbk::Format("kvx-out: pack %s not extracted", entry.name));
    RemovePack(pack_path);
    return Fail(message, kExtractFailedText);
  }

  std::unique_ptr<OpenPack> pack = DecryptPackFile(pack_path, kPackagePassword, window, stop);
  auto fail = [&](const std::string& text) {
    pack.reset();
    RemovePack(pack_path);
    return Fail(message, text);
  };
  auto stop_here = [&] {
    pack.reset();
    return stopped(pack_path);
  };
  if (StopRaised(stop)) return stop_here();
  if (!pack || pack->directory.empty()) return fail(kExtractFailedText);
  const PackDirectory& directory = pack->directory;
  const size_t n = directory.size();

  // Check every entry before writing any: a damaged pack (data outside the
  // body, as in a pack cut short) or one with nothing to install fails whole.
  PackProgress checking(window, 25, 20);
  uint64_t needed = 0;
  size_t files = 0;
  std::vector<std::string> file_paths;  // to find a file where a folder must go
  for (size_t i = 0; i < n; ++i) {
    if (StopRaised(stop)) return stop_here();
    const PackDirectory::Entry e = directory[i];
    checking.Offer(25 + static_cast<int>(uint64_t{i} * 100 / n) / 4);
    if (!SpanFitsBody(e.span, pack->body_length)) {
      TraceLine(gbk::Format("kvx-out: pack entry %s has its data outside the pack",
                            std::string(e.name).c_str()));
      return fail(kExtractFailedText);
    }
    const EntryTarget t = Classify(e.name);
    if (t.kind != EntryKind::kFile) continue;
    // A name Windows refuses fails on every run: at once, not after the retries.
    if (CheckInstallName(t.relative) == InstallName::kCannotCreate) {
      return fail(CannotWrite(JoinPath(folder, t.relative)));
    }
    file_paths.push_back(t.relative);
    needed += static_cast<uint32_t>(e.span.size);
    ++files;
  }
  if (files == 0) return fail(kExtractFailedText);
  const size_t over_file =
      FindFolderOverFile(std::vector<std::string_view>(file_paths.begin(), file_paths.end()));
  if (over_file != std::string_view::npos) {
    return fail(CannotWrite(JoinPath(folder, file_paths[over_file])));
  }
  file_paths = std::vector<std::string>();
  const VolumeSpace space = QueryVolumeSpace(folder);
  if (!NoRoomMessage(space, needed).empty()) {
    needed = SpaceAfterReplacing(directory, folder, needed, stop);
    if (StopRaised(stop)) return stop_here();
    std::string no_room = NoRoomMessage(space, needed);
    if (!no_room.empty()) return fail(no_room);
  }
  checking.PostWithoutPause(50);

  ::CreateDirectoryA(folder.c_str(), nullptr);
  // Files are written on a thread of their own: reading and decrypting the
  // next one, and the progress pauses, overlap the writing. Progress counts
  // the entries handed over; the last files are done when 100 is posted.
  FileWriteQueue writer;
  PackProgress writing(window, 50, 10);
  size_t written = 0;
  Queued queued = Queued::kWhole;
  // Entries come grouped by folder: the folders of the previous entry exist
  // already, and asking the system again for each file costs a call per level.
  std::string made_folders;
  for (size_t i = 0; i < n && queued == Queued::kWhole && !writer.failed(); ++i) {
    if (StopRaised(stop)) {
      queued = Queued::kStopped;
      break;
    }
    const PackDirectory::Entry e = directory[i];
    const EntryTarget t = Classify(e.name);
    if (t.kind == EntryKind::kUnsafe) {
      TraceLine(gbk::Format("kvx-out: skipped pack entry %s (outside the install folder)",
                            std::string(e.name).c_str()));
      continue;
    }
    const std::vector<size_t> seps = gbk::FindAllChars(t.relative, '\\');
    const std::string parent = t.relative.substr(0, seps.empty() ? 0 : seps.back());
    if (parent != made_folders) {
      for (size_t p : seps) {
        ::CreateDirectoryA(JoinPath(folder, t.relative.substr(0, p)).c_str(), nullptr);
      }
      made_folders = parent;
    }
    if (t.kind == EntryKind::kFolder) continue;
    queued = QueueTarget(JoinPath(folder, t.relative), *pack->reader, e.span, writer, stop);
    if (queued == Queued::kStopped) break;
    if (installed) installed->push_back(t.relative);
    writing.Offer(static_cast<int>(50 + 50 * written / n));
    ++written;
  }
  std::string error;
  const bool all_written = writer.Finish(&error);
  // The user is leaving: a file that failed meanwhile is not worth a message.
  if (queued == Queued::kStopped) return stop_here();
  if (!all_written) return fail(error.empty() ? kExtractFailedText : error);
  if (queued == Queued::kPackUnreadable) return fail(kExtractFailedText);
  PostProgress(window, 100);

  pack.reset();
  RemovePack(pack_path);
  return false;
}
