// The last step of an extraction: every listed file written below the
// install folder, on a writing thread of its own.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "core/gbk_text.h"
#include "core/pack_directory.h"
#include "core/path_join.h"
#include "package/extract_steps.h"
#include "package/file_write_queue.h"
#include "package/pack_decrypt.h"
#include "system/file_attributes.h"
#include "system/scoped_handle.h"
#include "system/trace.h"

namespace {

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

enum class Queued { kWhole, kPackUnreadable, kStopped };

// Hands one listed file from the pack to the writing thread. When the pack
// becomes unreadable or the stop comes, the file is dropped (and removed). A
// file that cannot be opened or written fails the queue, which Finish()
// reports.
Queued QueueTarget(const std::string& target, PackBodyReader& reader, const PackSpan& span,
                   FileWriteQueue& writer, const StopCheck& stop) {
  writer.Begin([target] { return RetryBriefly([&target] { return TryOpenTarget(target); }); },
               target, ExtractFailureText(ExtractFailure{ExtractStep::kCannotWrite, 0, 0, target}));
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

// Entries come grouped by folder: the folders of the previous entry exist
// already, and asking the system again for each file costs a call per level.
void MakeParentFolders(const std::string& folder, const std::string& relative,
                       std::string* made_folders) {
  const std::vector<size_t> seps = gbk::FindAllChars(relative, '\\');
  const std::string parent = relative.substr(0, seps.empty() ? 0 : seps.back());
  if (parent == *made_folders) return;
  for (size_t p : seps) ::CreateDirectoryA(JoinPath(folder, relative.substr(0, p)).c_str(), nullptr);
  *made_folders = parent;
}

}  // namespace

// Reading and decrypting the next file, and the progress pauses, overlap the
// writing. Progress counts the entries handed over; the last files are done
// when 100 is posted.
ExtractResult WritePackFiles(const OpenPack& pack, const std::string& folder, HWND window,
                             const StopCheck& stop, std::vector<std::string>* installed) {
  const PackDirectory& directory = pack.directory;
  const size_t n = directory.size();
  ::CreateDirectoryA(folder.c_str(), nullptr);
  FileWriteQueue writer;
  PackProgress writing(window, 50, 10);
  size_t written = 0;
  Queued queued = Queued::kWhole;
  std::string made_folders;
  for (size_t i = 0; i < n && queued == Queued::kWhole && !writer.failed(); ++i) {
    if (StopRaised(stop)) {
      queued = Queued::kStopped;
      break;
    }
    const PackDirectory::Entry e = directory[i];
    const EntryTarget t = ClassifyEntry(e.name);
    if (t.kind == EntryKind::kUnsafe) {
      TraceLine(gbk::Format("kvx-out: skipped pack entry %s (outside the install folder)",
                            std::string(e.name).c_str()));
      continue;
    }
    MakeParentFolders(folder, t.relative, &made_folders);
    if (t.kind == EntryKind::kFolder) continue;
    queued = QueueTarget(JoinPath(folder, t.relative), *pack.reader, e.span, writer, stop);
    if (queued == Queued::kStopped) break;
    if (installed) installed->push_back(t.relative);
    writing.Offer(static_cast<int>(50 + 50 * written / n));
    ++written;
  }
  std::string error;
  const bool all_written = writer.Finish(&error);
  // The user is leaving: a file that failed meanwhile is not worth a message.
  if (queued == Queued::kStopped) return ExtractFailure{ExtractStep::kStopped};
  if (!all_written) return ExtractFailure{ExtractStep::kWrite, 0, 0, error};
  if (queued == Queued::kPackUnreadable) return ExtractFailure{ExtractStep::kPackage};
  return {};
}
