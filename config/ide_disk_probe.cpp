#include "config/ide_disk_probe.h"

#include <windows.h>

#include <winioctl.h>


#include "system/profile_file.h"
#include "system/scoped_handle.h"

namespace {

uint32_t ReadU32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int64_t ReadI64(const unsigned char* p) {
  return static_cast<int64_t>(uint64_t{ReadU32(p)} | uint64_t{ReadU32(p + 4)} << 32);
}

// Puts the answer of the device \\.\<name> to the control `code` into `out`.
bool AskDevice(const std::string& name, DWORD code, void* out, DWORD size) {
  const ScopedFileHandle device(::CreateFileA(("\\\\.\\" + name).c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
  DWORD returned = 0;
  return device && ::DeviceIoControl(device.get(), code, nullptr, 0, out, size, &returned, nullptr);
}

// Device paths of the disks the disk driver enumerated, in index order;
// false when the key or its count cannot be read.
bool ReadEnumeratedDisks(std::vector<std::string>* paths) {
  const ScopedRegKey key =
      OpenRegKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Disk\\Enum", KEY_READ);
  if (!key) return false;
  DWORD count = 0, type = 0, size = sizeof count;
  if (::RegQueryValueExA(key.get(), "Count", nullptr, &type, reinterpret_cast<BYTE*>(&count),
                         &size) != ERROR_SUCCESS) {
    return false;
  }
  for (DWORD i = 0; i < count; ++i) {
    std::string value;
    ReadRegText(key.get(), std::to_string(i).c_str(), 255, &value);
    paths->push_back(value);
  }
  return true;
}

}  // namespace

bool PartitionRecord::operator==(const PartitionRecord& o) const {
  return startingOffset == o.startingOffset && partitionLength == o.partitionLength &&
         hiddenSectors == o.hiddenSectors && partitionNumber == o.partitionNumber &&
         partitionType == o.partitionType && bootIndicator == o.bootIndicator &&
         recognizedPartition == o.recognizedPartition && rewritePartition == o.rewritePartition;
}

PartitionRecord DecodePartitionRecord(const unsigned char* b) {
  PartitionRecord r;
  r.startingOffset = ReadI64(b);
  r.partitionLength = ReadI64(b + 8);
  r.hiddenSectors = ReadU32(b + 16);
  r.partitionNumber = ReadU32(b + 20);
  r.partitionType = b[24];
  r.bootIndicator = b[25];
  r.recognizedPartition = b[26];
  r.rewritePartition = b[27];
  return r;
}

int LastIdeDiskIndex(const std::vector<std::string>& device_paths) {
  int found = -1;
  for (size_t i = 0; i < device_paths.size(); ++i) {
    if (device_paths[i].compare(0, 3, "IDE") == 0) found = static_cast<int>(i);
  }
  return found;
}

bool LayoutHoldsPartition(const unsigned char* layout, size_t layout_size,
                          const PartitionRecord& volume) {
  if (!layout || layout_size < 8) return false;
  uint32_t count = ReadU32(layout);
  // The driver's count is not trusted beyond what the buffer holds.
  size_t room = (layout_size - 8) / kPartitionRecordBytes;
  for (size_t i = 0; i < count && i < room; i += 4) {
    if (DecodePartitionRecord(layout + 8 + i * kPartitionRecordBytes) == volume) return true;
  }
  return false;
}

bool IsVolumeOnIdeDisk(const std::string& volume) {
  unsigned char record[kPartitionRecordBytes] = {};
  if (!AskDevice(volume, IOCTL_DISK_GET_PARTITION_INFO, record, sizeof record)) return false;
  std::vector<std::string> disks;
  if (!ReadEnumeratedDisks(&disks)) return false;
  const int index = LastIdeDiskIndex(disks);
  if (index < 0) return false;
  std::vector<unsigned char> layout(kDriveLayoutBytes, 0);
  if (!AskDevice("PHYSICALDRIVE" + std::to_string(index), IOCTL_DISK_GET_DRIVE_LAYOUT, layout.data(),
                 static_cast<DWORD>(layout.size()))) {
    return false;
  }
  return LayoutHoldsPartition(layout.data(), layout.size(), DecodePartitionRecord(record));
}
