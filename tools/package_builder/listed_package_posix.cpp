// Packages read back natively: minizip extracts the first member with the
// package password, the pack's body is decrypted on demand, as the
// installer reads them.
#include <unzip.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/aes128.h"
#include "core/archive_entry.h"
#include "core/pack_directory.h"
#include "core/pack_key.h"
#include "core/safe_path.h"
#include "builder_commands.h"
#include "builder_host.h"

namespace {

// The longest member name read.
constexpr unsigned kRawNameLimit = 65536;
constexpr char kDamagedMember[] = "member cannot be extracted: wrong password or damaged data";

struct ZipCloser {
  void operator()(void* zip) const { unzClose(zip); }
};

class PosixListedPackage : public ListedPackage {
 public:
  File file;  // a tmpfile(): gone when closed
  aes128::KeySchedule key{};

  // Whole blocks around the range, decrypted alone (ECB).
  bool ReadBody(uint64_t offset, void* dst, size_t n) {
    if (offset > body_length || n > body_length - offset) return false;
    if (n == 0) return true;
    const uint64_t start = offset / aes128::kBlockSize * aes128::kBlockSize;
    const uint64_t end = (offset + n + aes128::kBlockSize - 1) / aes128::kBlockSize *
                         aes128::kBlockSize;
    std::vector<uint8_t> blocks(static_cast<size_t>(end - start));
    if (::fseeko(file.get(), static_cast<off_t>(kPackHeaderSize + start), SEEK_SET) != 0 ||
        std::fread(blocks.data(), 1, blocks.size(), file.get()) != blocks.size()) {
      return false;
    }
    aes128::DecryptEcb(key, blocks.data(), blocks.size());
    std::memcpy(dst, blocks.data() + (offset - start), n);
    return true;
  }
};

// Writes the current member to `out`; the message on failure.
bool CopyMember(void* zip, std::FILE* out, std::string* error) {
  std::vector<char> buffer(1 << 16);
  int got;
  while ((got = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
    if (std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out) != static_cast<size_t>(got)) {
      unzCloseCurrentFile(zip);
      *error = "cannot write the member into a temporary file";
      return false;
    }
  }
  // The CRC is checked when the member is closed, after its last byte.
  if (unzCloseCurrentFile(zip) == UNZ_OK && got == 0) return true;
  *error = kDamagedMember;
  return false;
}

// Goes to the first member and takes its name and sizes, refusing what the
// installer would not extract.
bool ReadFirstMember(void* zip, const std::string& zip_path, PosixListedPackage* pack,
                     unz_file_info64* info, std::string* error) {
  unz_global_info64 global{};
  if (!zip || unzGetGlobalInfo64(zip, &global) != UNZ_OK) {
    *error = "cannot open " + zip_path + " as a zip archive";
    return false;
  }
  if (global.number_entry == 0) return *error = "package has no members", false;
  std::vector<char> raw(kRawNameLimit + 1, '\0');
  if (unzGoToFirstFile(zip) != UNZ_OK ||
      unzGetCurrentFileInfo64(zip, info, raw.data(), kRawNameLimit, nullptr, 0, nullptr, 0) !=
          UNZ_OK) {
    return *error = "first member cannot be read", false;
  }
  pack->member = SanitizeMemberName(
      std::string_view(raw.data(), std::min<size_t>(info->size_filename, kRawNameLimit)));
  if (!StaysInsideFolder(pack->member) || pack->member.size() >= kArchiveNameBytes ||
      pack->member.find('\0') != std::string::npos) {
    return *error = "first member's name leads outside the folder", false;
  }
  pack->compressed_size = static_cast<int32_t>(std::min<uint64_t>(info->compressed_size, INT32_MAX));
  pack->uncompressed_size =
      static_cast<int32_t>(std::min<uint64_t>(info->uncompressed_size, INT32_MAX));
  return true;
}

// Extracts the current member, `info`'s, into the package's temporary file.
bool ExtractMember(void* zip, const unz_file_info64& info, PosixListedPackage* pack,
                   std::string* error) {
  // minizip would copy a member of any other method as if it were stored.
  if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) {
    return *error = kDamagedMember, false;
  }
  if (unzOpenCurrentFilePassword(zip, (info.flag & 1) ? kPackagePassword : nullptr) != UNZ_OK) {
    return *error = "first member cannot be read", false;
  }
  pack->file.reset(std::tmpfile());
  if (!pack->file) {
    unzCloseCurrentFile(zip);
    return *error = "cannot write the member into a temporary file", false;
  }
  return CopyMember(zip, pack->file.get(), error);
}

// The pack's header and the length of its body, which must be whole blocks.
bool ReadPackHeader(PosixListedPackage* pack, std::string* error) {
  std::FILE* f = pack->file.get();
  uint8_t header[kPackHeaderSize];
  const bool sized = std::fflush(f) == 0 && ::fseeko(f, 0, SEEK_END) == 0;
  const off_t size = sized ? ::ftello(f) : -1;
  if (size < static_cast<off_t>(kPackHeaderSize) ||
      static_cast<uint64_t>(size) - kPackHeaderSize > 0xFFFFFFFFull ||
      (static_cast<uint64_t>(size) - kPackHeaderSize) % aes128::kBlockSize != 0 ||
      ::fseeko(f, 0, SEEK_SET) != 0 || std::fread(header, 1, sizeof header, f) != sizeof header) {
    return *error = "pack is shorter than its 8-byte header or not whole 16-byte blocks", false;
  }
  pack->body_length = static_cast<uint64_t>(size) - kPackHeaderSize;
  pack->payload_length = uint32_t{header[0]} | (uint32_t{header[1]} << 8) |
                         (uint32_t{header[2]} << 16) | (uint32_t{header[3]} << 24);
  return true;
}

}  // namespace

std::unique_ptr<ListedPackage> OpenListedPackage(const std::string& zip_path, std::string* error) {
  std::unique_ptr<void, ZipCloser> zip(unzOpen64(zip_path.c_str()));
  auto pack = std::make_unique<PosixListedPackage>();
  unz_file_info64 info{};
  if (!ReadFirstMember(zip.get(), zip_path, pack.get(), &info, error) ||
      !ExtractMember(zip.get(), info, pack.get(), error) || !ReadPackHeader(pack.get(), error)) {
    return nullptr;
  }
  const auto raw_key = DerivePackKey(kPackagePassword);
  aes128::ExpandDecryptKey(raw_key.data(), &pack->key);
  PosixListedPackage* p = pack.get();
  pack->read = [p](uint64_t offset, void* dst, size_t n) { return p->ReadBody(offset, dst, n); };
  return pack;
}
