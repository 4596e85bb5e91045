// The pieces of the IDE-disk probe that need no device: which enumerated disk
// is examined, and whether a volume's partition record appears in a disk's
// layout. IsVolumeOnIdeDisk (profile_file.h) feeds them from the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The eight fields of a partition record, decoded from the 32 bytes the disk
// driver returns (little-endian, padding ignored).
struct PartitionRecord {
  int64_t startingOffset = 0;
  int64_t partitionLength = 0;
  uint32_t hiddenSectors = 0;
  uint32_t partitionNumber = 0;
  uint8_t partitionType = 0;
  uint8_t bootIndicator = 0;
  uint8_t recognizedPartition = 0;
  uint8_t rewritePartition = 0;
  bool operator==(const PartitionRecord& o) const;
};

constexpr size_t kPartitionRecordBytes = 32;
// Count, signature and room for 105 records.
constexpr size_t kDriveLayoutBytes = 8 + 105 * kPartitionRecordBytes;

PartitionRecord DecodePartitionRecord(const unsigned char* bytes);

// Index of the last entry whose device path starts with "IDE" (case matters),
// or -1 when none does.
int LastIdeDiskIndex(const std::vector<std::string>& device_paths);

// Compares the record with layout entries 0, 4, 8, ... below the layout's
// partition count (and within the buffer). `layout` is a drive layout buffer.
bool LayoutHoldsPartition(const unsigned char* layout, size_t layout_size,
                          const PartitionRecord& volume);
