#include "package/zip_writer.h"

#include <zip.h>
#include <zlib.h>
#ifdef _WIN32
#include <iowin32.h>
#endif

#include <cstdio>
#include <ctime>
#include <memory>

// Plain C files and times: the package builder also builds natively.
namespace {

constexpr size_t kChunk = 256 * 1024;

// Calls `use` with every piece of the member's content; false on a read failure.
template <typename Use>
bool ForEachPiece(const ZipMember& m, Use use) {
  if (m.source_path.empty()) return use(m.bytes.data(), m.bytes.size());
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(m.source_path.c_str(), "rb"),
                                                      &std::fclose);
  if (!file) return false;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (;;) {
    const size_t got = std::fread(buffer.get(), 1, kChunk, file.get());
    if (got == 0) return !std::ferror(file.get());
    if (!use(buffer.get(), got)) return false;
  }
}

struct ZipCloser {
  void operator()(void* zf) const { zipClose(zf, nullptr); }
};

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

// Adds one member to the open zip; false, with `error` set, when it cannot.
bool AddMember(void* zf, const ZipMember& m, const std::string& zip_path, std::string* error) {
  uLong crc = crc32(0, nullptr, 0);
  if (m.password != nullptr) {
    // The encryption header's check byte needs the CRC before the data.
    bool read = ForEachPiece(m, [&crc](const char* d, size_t n) {
      crc = crc32(crc, reinterpret_cast<const Bytef*>(d), static_cast<uInt>(n));
      return true;
    });
    if (!read) return Fail(error, "cannot read " + m.source_path);
  }
  zip_fileinfo info{};
  info.dosDate = m.dos_date_time;
  info.external_fa = m.external_attributes;
  if (info.dosDate == 0) {
    const std::time_t t = std::time(nullptr);
    if (const std::tm* now = std::localtime(&t)) {
      info.tmz_date = {now->tm_sec, now->tm_min, now->tm_hour,
                       now->tm_mday, now->tm_mon, now->tm_year + 1900};
    }
  }
  int rc = zipOpenNewFileInZip4_64(
      zf, m.name.c_str(), &info, m.local_extra.empty() ? nullptr : m.local_extra.data(),
      static_cast<uInt>(m.local_extra.size()), nullptr, 0, nullptr, m.method, m.level, 0,
      -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, m.password, crc, m.version_made_by, 0, 0);
  if (rc != ZIP_OK) return Fail(error, "cannot add " + m.name + " to " + zip_path);
  bool ok = ForEachPiece(m, [zf](const char* d, size_t n) {
    return zipWriteInFileInZip(zf, d, static_cast<unsigned>(n)) == ZIP_OK;
  });
  if (zipCloseFileInZip(zf) != ZIP_OK || !ok) return Fail(error, "cannot write " + zip_path);
  return true;
}

}  // namespace

bool WriteZip(const std::string& zip_path, const std::vector<ZipMember>& members,
              std::string* error) {
  zlib_filefunc64_def io;
#ifdef _WIN32
  fill_win32_filefunc64A(&io);
#else
  fill_fopen64_filefunc(&io);
#endif
  std::unique_ptr<void, ZipCloser> zf(zipOpen2_64(zip_path.c_str(), APPEND_STATUS_CREATE, nullptr, &io));
  if (!zf) return Fail(error, "cannot create " + zip_path);
  // From here on the file is ours: a half-written zip is removed rather than
  // left to pass for a package.
  auto abandon = [&] {
    zf.reset();
    std::remove(zip_path.c_str());
    return false;
  };
  for (const ZipMember& m : members) {
    if (!AddMember(zf.get(), m, zip_path, error)) return abandon();
  }
  if (zipClose(zf.release(), nullptr) == ZIP_OK) return true;
  *error = "cannot finish " + zip_path;
  return abandon();
}
