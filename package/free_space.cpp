#include "package/free_space.h"

#include <windows.h>

#include "core/buffer_limits.h"
#include "core/gbk_text.h"

namespace {

VolumeSpace RealProbe(const std::string& folder) {
  VolumeSpace space;
  char root[MAX_PATH + 1] = {};
  if (!::GetVolumePathNameA(folder.c_str(), root, sizeof root)) return space;
  ULARGE_INTEGER free_to_caller{};
  if (!::GetDiskFreeSpaceExA(root, &free_to_caller, nullptr, nullptr)) return space;
  space.known = true;
  space.volume = root;
  space.free_bytes = free_to_caller.QuadPart;
  return space;
}

VolumeSpaceProbe g_probe = nullptr;

// Needed space rounds up and free space down, so the two never read equal.
std::string Megabytes(uint64_t bytes, bool round_up) {
  return std::to_string((bytes + (round_up ? (1 << 20) - 1 : 0)) >> 20) + " MB";
}

}  // namespace

VolumeSpace QueryVolumeSpace(const std::string& folder) {
  return g_probe ? g_probe(folder) : RealProbe(folder);
}

void SetVolumeSpaceProbe(VolumeSpaceProbe probe) { g_probe = probe; }

std::string NoRoomMessage(const VolumeSpace& space, uint64_t needed, uint64_t package_rest) {
  if (!space.known || needed + package_rest <= space.free_bytes) return std::string();
  if (package_rest > 0)
    return gbk::FormatCut(kMessageTextMax, "磁盘空间不足,%s 需要 %s 可用空间(安装包 %s, 游戏文件 %s),只有 %s.",
                          space.volume.c_str(), Megabytes(needed + package_rest, true).c_str(),
                          Megabytes(package_rest, true).c_str(), Megabytes(needed, true).c_str(),
                          Megabytes(space.free_bytes, false).c_str());
  return gbk::FormatCut(kMessageTextMax, "磁盘空间不足,%s 需要 %s 可用空间,只有 %s.", space.volume.c_str(),
                        Megabytes(needed, true).c_str(), Megabytes(space.free_bytes, false).c_str());
}
