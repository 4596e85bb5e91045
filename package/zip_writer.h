// Writing zip archives with minizip's zip module: the package builder's
// output (one member, traditional PKWARE encryption) and test archives with
// chosen attributes, times and extra fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ZipMember {
  std::string name;
  std::string bytes;        // the content, unless source_path is set
  std::string source_path;  // stream the content from this file (read twice: CRC, then data)
  const char* password = nullptr;  // nullptr: not encrypted
  int method = 8;                  // 8 deflate, 0 stored
  int level = 6;
  uint32_t version_made_by = 0x0014;  // host 0 (FAT), version 2.0
  uint32_t external_attributes = 0x20;
  uint32_t dos_date_time = 0;  // 0: now, local time
  std::string local_extra;
};

// Creates (or replaces) `zip_path` holding `members` in order.
bool WriteZip(const std::string& zip_path, const std::vector<ZipMember>& members,
              std::string* error);
