#include "package/pack_decrypt.h"

#include <new>

#include "app/setup_messages.h"
#include "package/pack_directory.h"
#include "package/pack_key.h"
#include "system/scoped_handle.h"
#include "system/seams.h"

int PackProgressShare(uint64_t done, uint64_t body_length) {
  if (body_length == 0) return 0;
  uint64_t chunks = body_length / 1024;
  if (chunks > 0) return static_cast<int>((done / 1024) * 100 / chunks);
  return static_cast<int>(done * 100 / body_length);
}

namespace {

// Posts a percentage when it differs from the last one, then lets the window repaint.
class PackProgress {
 public:
  explicit PackProgress(HWND window) : window_(window) {}
  void Offer(int percent) {
    if (percent == last_) return;
    last_ = percent;
    PostProgress(window_, percent);
    seams::SleepMs(20);
  }
  void PostWithoutPause(int percent) {
    last_ = percent;
    PostProgress(window_, percent);
  }

 private:
  HWND window_;  // borrowed
  int last_ = 25;
};

bool ReadExactly(HANDLE file, uint8_t* dst, DWORD size) {
  DWORD got = 0;
  return ::ReadFile(file, dst, size, &got, nullptr) && got == size;
}

}  // namespace

std::optional<PackBody> DecryptPackFile(const std::string& path, std::string_view password,
                                        HWND window) {
  ScopedFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER file_size{};
  if (!::GetFileSizeEx(file.get(), &file_size)) return std::nullopt;
  // The format counts in 32 bits; anything shorter than the header or longer
  // than 4 GiB cannot be a pack.
  if (file_size.QuadPart < static_cast<LONGLONG>(kPackHeaderSize) ||
      file_size.QuadPart - static_cast<LONGLONG>(kPackHeaderSize) > 0xFFFFFFFFLL) {
    return std::nullopt;
  }
  uint8_t header[kPackHeaderSize];
  if (!ReadExactly(file.get(), header, sizeof header)) return std::nullopt;
  const uint32_t length = static_cast<uint32_t>(file_size.QuadPart - kPackHeaderSize);
  if (length % aes128::kBlockSize != 0) return std::nullopt;

  PackBody body;
  body.data.reset(new (std::nothrow) uint8_t[length == 0 ? 1 : length]);
  if (!body.data) return std::nullopt;
  body.length = length;
  body.payload_length = uint32_t{header[0]} | (uint32_t{header[1]} << 8) |
                        (uint32_t{header[2]} << 16) | (uint32_t{header[3]} << 24);

  PackProgress progress(window);
  const uint32_t have = ReadBody(
      [&file](uint8_t* dst, uint32_t want) -> uint32_t {
        DWORD got = 0;
        return ::ReadFile(file.get(), dst, want, &got, nullptr) ? got : 0;
      },
      body.data.get(), length,
      [&](uint32_t total) { progress.Offer(PackProgressShare(total, length) / 4); });
  // A short read leaves part of the buffer undefined: decrypting it would
  // install garbage, so the pack counts as unreadable.
  if (have < length) return std::nullopt;
  progress.PostWithoutPause(25);

  aes128::KeySchedule key;
  const auto raw_key = DerivePackKey(password);
  aes128::ExpandDecryptKey(raw_key.data(), &key);
  DecryptBodyWithProgress(key, body.data.get(), length, [&](size_t pos) {
    progress.Offer(25 + PackProgressShare(pos, length) / 4);
  });
  progress.PostWithoutPause(50);
  return body;
}
