// The first step of an extraction: the package's one member, the pack,
// deciphered and inflated beside it.
#include <windows.h>

#include <memory>

#include "core/gbk_text.h"
#include "core/pack_key.h"
#include "core/path_join.h"
#include "package/extract_steps.h"
#include "package/free_space.h"
#include "package/package_archive.h"
#include "system/file_attributes.h"
#include "system/trace.h"

namespace {

// A pack left by a run that ended mid-step would be taken for the new one if
// it could not be replaced, and its room counted as taken: it goes first.
// False when something is still there.
bool RemoveStalePack(const std::string& pack_path) {
  auto gone = [&] { return !PathExists(pack_path); };
  return RetryBriefly([&] {
    if (gone()) return true;
    RemovePack(pack_path);
    return gone();
  });
}

ExtractFailure PackageFailure(const char* what, const std::string& path) {
  TraceLine(gbk::Format(what, path.c_str()));
  return ExtractFailure{ExtractStep::kPackage};
}

}  // namespace

// It is rebuilt from the package on the next attempt, and leaving it would
// double the space the step holds.
void RemovePack(const std::string& pack_path) {
  if (DeleteFileForce(pack_path)) TraceLine(gbk::Format("kvx-log: deleted %s", pack_path.c_str()));
}

ExtractResult UnzipPack(const std::string& folder, const std::string& package_path,
                        const StopCheck& stop, std::string* pack_path) {
  // An archive that cannot be opened or read installs nothing: that is a
  // failed extraction, not a success.
  std::unique_ptr<PackageArchive> archive = PackageArchive::Open(package_path, kPackagePassword);
  if (!archive) return PackageFailure("kvx-out: cannot open package %s", package_path);
  archive->SetBaseFolder(folder);
  ArchiveEntry entry;
  if (archive->GetFirstEntry(&entry) != EntryStatus::kOk || entry.uncompressed_size <= 0)
    return PackageFailure("kvx-out: package %s has no usable first member", package_path);
  *pack_path = JoinPath(folder, entry.name);
  if (!RemoveStalePack(*pack_path))
    return PackageFailure("kvx-out: an earlier pack %s cannot be removed", *pack_path);
  const std::string no_room =
      NoRoomMessage(QueryVolumeSpace(folder), static_cast<uint32_t>(entry.uncompressed_size));
  if (!no_room.empty()) return ExtractFailure{ExtractStep::kNoRoom, 0, 0, no_room};
  // Only a pack extracted whole is read: anything else is a failed step.
  const ExtractStatus status = archive->ExtractFirstEntry(entry.name, stop);
  archive.reset();  // closes the package before the pack is touched again
  if (status == ExtractStatus::kOk) return {};
  RemovePack(*pack_path);
  if (status == ExtractStatus::kStopped) return ExtractFailure{ExtractStep::kStopped};
  return PackageFailure("kvx-out: pack %s not extracted", entry.name);
}
