// What the package builder needs from the system it runs on: the Windows
// build (builder_host_win.cpp) reads folders and packages the way the
// installer does; the native Linux build (builder_host_posix.cpp) converts
// between the file system's and terminal's UTF-8 and the package's GBK.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The fixed package password (zip password and pack key input).
extern const char kPackagePassword[];

struct FolderItem {
  std::string name;  // as the package spells it (GBK)
  std::string path;  // as the file system spells it
  bool folder = false;
  uint64_t size = 0;
};

bool IsFolder(const std::string& path);
// The items directly inside `folder`, without "." and "..". False, with a
// message, when the folder cannot be read or a name has no GBK spelling.
bool ListFolder(const std::string& folder, std::vector<FolderItem>* items, std::string* error);
// The last component of a folder path as given on the command line.
std::string FolderLeafName(const std::string& folder);

// Command-line text as the package spells it; false when it has no GBK spelling.
bool ToPackageText(const std::string& argument, std::string* package_text);
// UTF-8 text in GBK; false when it is not UTF-8 or a character has no GBK
// spelling.
bool Utf8ToPackageText(std::string_view utf8, std::string* package_text);
// Package text (GBK) as the terminal shows it.
std::string ForTerminal(std::string_view package_text);

// The first member of a package, extracted to a temporary file that lives as
// long as this object, with its pack's body decrypted on demand.
class ListedPackage {
 public:
  virtual ~ListedPackage() = default;
  std::string member;  // GBK
  int32_t compressed_size = 0;
  int32_t uncompressed_size = 0;
  uint32_t payload_length = 0;  // the pack header's first word
  uint64_t body_length = 0;
  std::function<bool(uint64_t offset, void* dst, size_t n)> read;  // decrypted body bytes
};

// Opens `zip_path`, extracts its first member with the package password and
// opens it as a pack. Nothing, with the reason, when any step fails.
std::unique_ptr<ListedPackage> OpenListedPackage(const std::string& zip_path, std::string* error);
