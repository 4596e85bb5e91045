// Free space of the volume an install folder lies on, checked before large
// writes so that a full disk ends the installation cleanly instead of
// leaving a half-written pack or client behind.
#pragma once

#include <cstdint>
#include <string>

struct VolumeSpace {
  bool known = false;  // false when the volume could not be asked
  std::string volume;  // its root, for example "C:\"
  uint64_t free_bytes = 0;
};

// Free space for the caller on the volume of `folder` (which need not exist
// yet). Goes through the probe that tests may replace.
VolumeSpace QueryVolumeSpace(const std::string& folder);

using VolumeSpaceProbe = VolumeSpace (*)(const std::string& folder);
// Replaces the probe; nullptr restores the real one.
void SetVolumeSpaceProbe(VolumeSpaceProbe probe);

// "磁盘空间不足..." naming the volume and the space needed when `needed`
// bytes do not fit; empty when they do or the space is unknown.
// `package_rest` is the part of a package still to arrive while its files are
// written: it counts towards the need, and the text names both parts.
std::string NoRoomMessage(const VolumeSpace& space, uint64_t needed, uint64_t package_rest = 0);
