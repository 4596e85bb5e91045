// Arbitrary bytes read as a package archive through minizip, the way the
// installer reads one: each member's information, its local extra field
// (timestamps), its name through the name rules, then its data with the
// package password (CRC checked at the close).
#include <cstring>
#include <string>
#include <vector>

#include <unzip.h>

#include "core/archive_entry.h"
#include "core/gbk_text.h"
#include "core/safe_path.h"

namespace {

// The archive in memory, served through minizip's file functions.
struct Memory {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
};

voidpf ZCALLBACK Open(voidpf opaque, const void*, int) { return opaque; }
uLong ZCALLBACK Read(voidpf, voidpf stream, void* buf, uLong n) {
  auto* m = static_cast<Memory*>(stream);
  const size_t take = m->at >= m->size ? 0 : std::min<size_t>(n, m->size - m->at);
  std::memcpy(buf, m->data + m->at, take);
  m->at += take;
  return static_cast<uLong>(take);
}
uLong ZCALLBACK Write(voidpf, voidpf, const void*, uLong) { return 0; }
ZPOS64_T ZCALLBACK Tell(voidpf, voidpf stream) { return static_cast<Memory*>(stream)->at; }
long ZCALLBACK Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* m = static_cast<Memory*>(stream);
  uint64_t base = origin == ZLIB_FILEFUNC_SEEK_SET ? 0
                  : origin == ZLIB_FILEFUNC_SEEK_CUR ? m->at
                                                     : m->size;
  if (offset > UINT64_MAX - base || base + offset > m->size) return -1;
  m->at = static_cast<size_t>(base + offset);
  return 0;
}
int ZCALLBACK Close(voidpf, voidpf) { return 0; }
int ZCALLBACK Error(voidpf, voidpf) { return 0; }

// What the installer does with one member; false when it would refuse it.
bool ReadMember(unzFile zip, std::vector<char>* name_buf) {
  unz_file_info64 info{};
  if (unzGetCurrentFileInfo64(zip, &info, name_buf->data(), 65536, nullptr, 0, nullptr, 0) !=
      UNZ_OK)
    return false;
  if (unzOpenCurrentFile2(zip, nullptr, nullptr, 1) != UNZ_OK) return false;
  const int extra_size = unzGetLocalExtrafield(zip, nullptr, 0);
  std::vector<uint8_t> extra(extra_size > 0 ? static_cast<size_t>(extra_size) : 0);
  if (extra_size > 0 &&
      unzGetLocalExtrafield(zip, extra.data(), static_cast<unsigned>(extra.size())) != extra_size)
    extra.clear();
  unzCloseCurrentFile(zip);
  const ExtraTimes times = ScanExtraTimes(extra.data(), extra.size());
  (void)times;
  (void)MapZipAttributes(info.version, info.external_fa);

  const std::string raw(name_buf->data(), std::min<size_t>(info.size_filename, 65536));
  const std::string name = SanitizeMemberName(raw);
  if (!StaysInsideFolder(name) || name.size() >= kArchiveNameBytes || name.find('\0') != std::string::npos)
    return false;
  // An accepted name keeps whole characters when copied into the entry.
  char field[kArchiveNameBytes];
  gbk::CopyToBuffer(field, sizeof field, name);
  if (std::strlen(field) != name.size()) __builtin_trap();

  if (unzOpenCurrentFilePassword(zip, "6203918547") != UNZ_OK) return false;
  char buffer[4096];
  size_t total = 0;
  int got;
  // Bounded: a small archive may claim gigabytes of output.
  while ((got = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0 && total < (1u << 20))
    total += static_cast<size_t>(got);
  unzCloseCurrentFile(zip);
  return got >= 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Memory memory{data, size};
  zlib_filefunc64_def io{};
  io.zopen64_file = Open;
  io.zread_file = Read;
  io.zwrite_file = Write;
  io.ztell64_file = Tell;
  io.zseek64_file = Seek;
  io.zclose_file = Close;
  io.zerror_file = Error;
  io.opaque = &memory;
  unzFile zip = unzOpen2_64("package", &io);
  if (zip == nullptr) return 0;
  std::vector<char> name_buf(65536 + 1, '\0');
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip, &global) == UNZ_OK && global.number_entry > 0 &&
      unzGoToFirstFile(zip) == UNZ_OK) {
    for (int i = 0; i < 16; ++i) {
      ReadMember(zip, &name_buf);
      if (unzGoToNextFile(zip) != UNZ_OK) break;
    }
  }
  unzClose(zip);
  return 0;
}
