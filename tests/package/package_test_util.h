// Builders for package tests: packs and package zips made in-process.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "package/extract_package.h"
#include "core/pack_writer.h"
#include "package/zip_writer.h"

using FileList = std::vector<std::pair<std::string, std::string>>;

// Writes `zip_path` whose single member `member` holds `member_bytes`,
// encrypted with the package password unless told otherwise.
inline bool WritePackageZip(const std::string& zip_path, const std::string& member,
                            const std::string& member_bytes,
                            const char* password = kPackagePassword) {
  ZipMember m;
  m.name = member;
  m.bytes = member_bytes;
  m.password = password;
  std::string error;
  return WriteZip(zip_path, {m}, &error);
}

// A package whose pack lists `files` (full entry names).
inline bool WritePackage(const std::string& zip_path, const FileList& files,
                         const std::string& member = "game.pak") {
  return WritePackageZip(zip_path, member, BuildPackBytes(files, kPackagePassword));
}

inline std::string Pattern(size_t size, unsigned seed) {
  std::string s(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}
