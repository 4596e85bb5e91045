// The second step of an extraction: every entry of the pack checked before
// any file is written.
#include <windows.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "core/gbk_text.h"
#include "core/pack_directory.h"
#include "core/path_join.h"
#include "core/safe_path.h"
#include "package/extract_steps.h"
#include "package/free_space.h"
#include "package/pack_decrypt.h"
#include "system/trace.h"

namespace {

// Space the listed files need beyond what the files they replace free.
uint64_t SpaceAfterReplacing(const PackDirectory& directory, const std::string& folder,
                             uint64_t needed, const StopCheck& stop) {
  for (size_t i = 0; i < directory.size() && !StopRaised(stop); ++i) {
    const EntryTarget t = ClassifyEntry(directory[i].name);
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

// The room the files need, counting what the files they replace give back
// only when the volume is short without it.
ExtractResult CheckRoom(const PackDirectory& directory, const std::string& folder,
                        uint64_t needed, uint64_t package_rest, const StopCheck& stop) {
  const VolumeSpace space = QueryVolumeSpace(folder);
  if (NoRoomMessage(space, needed, package_rest).empty()) return {};
  needed = SpaceAfterReplacing(directory, folder, needed, stop);
  if (StopRaised(stop)) return ExtractFailure{ExtractStep::kStopped};
  std::string no_room = NoRoomMessage(space, needed, package_rest);
  if (no_room.empty()) return {};
  return ExtractFailure{ExtractStep::kNoRoom, 0, 0, no_room};
}

}  // namespace

EntryTarget ClassifyEntry(std::string_view name) {
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

ExtractResult CheckPackEntries(const OpenPack& pack, const std::string& folder, HWND window,
                               const StopCheck& stop, uint64_t package_rest) {
  const PackDirectory& directory = pack.directory;
  const size_t n = directory.size();
  PackProgress checking(window, 25, 20);
  uint64_t needed = 0;
  std::vector<std::string> file_paths;  // to find a file where a folder must go
  for (size_t i = 0; i < n; ++i) {
    if (StopRaised(stop)) return ExtractFailure{ExtractStep::kStopped};
    const PackDirectory::Entry e = directory[i];
    checking.Offer(25 + static_cast<int>(uint64_t{i} * 100 / n) / 4);
    if (!SpanFitsBody(e.span, pack.body_length)) {
      TraceLine(gbk::Format("kvx-out: pack entry %s has its data outside the pack",
                            std::string(e.name).c_str()));
      return ExtractFailure{ExtractStep::kPackage};
    }
    const EntryTarget t = ClassifyEntry(e.name);
    if (t.kind != EntryKind::kFile) continue;
    // A name Windows refuses fails on every run: at once, not after the retries.
    if (CheckInstallName(t.relative) == InstallName::kCannotCreate)
      return ExtractFailure{ExtractStep::kCannotWrite, 0, 0, JoinPath(folder, t.relative)};
    file_paths.push_back(t.relative);
    needed += static_cast<uint32_t>(e.span.size);
  }
  if (file_paths.empty()) return ExtractFailure{ExtractStep::kPackage};
  const size_t over_file =
      FindFolderOverFile(std::vector<std::string_view>(file_paths.begin(), file_paths.end()));
  if (over_file != std::string_view::npos)
    return ExtractFailure{ExtractStep::kCannotWrite, 0, 0, JoinPath(folder, file_paths[over_file])};
  file_paths = std::vector<std::string>();
  ExtractResult room = CheckRoom(directory, folder, needed, package_rest, stop);
  if (!room.ok()) return room;
  checking.PostWithoutPause(50);
  return {};
}
