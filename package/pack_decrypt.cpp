#include "package/pack_decrypt.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "system/setup_messages.h"
#include "core/pack_key.h"
#include "system/seams.h"

int PackProgressShare(uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  uint64_t chunks = total / 1024;
  if (chunks > 0) return static_cast<int>((done / 1024) * 100 / chunks);
  return static_cast<int>(done * 100 / total);
}

void PackProgress::Offer(int percent) {
  if (percent == last_ || !window_) return;
  last_ = percent;
  PostProgress(window_, percent);
  seams::SleepMs(pause_ms_);
}

void PackProgress::PostWithoutPause(int percent) {
  last_ = percent;
  if (window_) PostProgress(window_, percent);
}

PackBodyReader::PackBodyReader(RawRead raw, uint64_t body_length, const aes128::KeySchedule& key,
                               size_t window)
    : raw_(std::move(raw)),
      length_(body_length),
      key_(key),
      window_size_(std::max<size_t>(window / aes128::kBlockSize, 1) * aes128::kBlockSize) {}

bool PackBodyReader::Read(uint64_t offset, void* dst, size_t n) {
  if (offset > length_ || n > length_ - offset) return false;
  if (n > 0) {
    if (!window_) window_.reset(new (std::nothrow) uint8_t[window_size_]);
    if (!window_) return false;
    if (offset != next_) straight_ = false;
    next_ = offset + n;
  }
  uint8_t* out = static_cast<uint8_t*>(dst);
  while (n > 0) {
    if (offset < window_at_ || offset - window_at_ >= window_have_) {
      constexpr uint64_t kBlock = aes128::kBlockSize;
      const uint64_t start = offset / kBlock * kBlock;
      const uint64_t end = std::min<uint64_t>((offset + n + kBlock - 1) / kBlock * kBlock, length_);
      uint64_t want = end - start;
      // Twice the last refill only when that one was read through to its end;
      // a whole window at the start, where the table is read straight through.
      if (straight_ && start == window_at_ + window_have_) {
        want = std::max<uint64_t>(want, window_have_ == 0 ? window_size_ : 2 * uint64_t{window_have_});
      }
      want = std::min<uint64_t>({want, window_size_, length_ - start});
      window_have_ = 0;
      if (!raw_(start, window_.get(), static_cast<size_t>(want))) return false;
      aes128::DecryptEcb(key_, window_.get(), static_cast<size_t>(want));
      window_at_ = start;
      window_have_ = static_cast<size_t>(want);
      straight_ = true;
    }
    const size_t skip = static_cast<size_t>(offset - window_at_);
    const size_t take = std::min(n, window_have_ - skip);
    std::memcpy(out, window_.get() + skip, take);
    out += take;
    offset += take;
    n -= take;
  }
  return true;
}

namespace {

bool ReadAt(HANDLE file, uint64_t at, uint8_t* dst, size_t n) {
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(at);
  if (!::SetFilePointerEx(file, pos, nullptr, FILE_BEGIN)) return false;
  while (n > 0) {
    DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(file, dst, want, &got, nullptr) || got == 0) return false;
    dst += got;
    n -= got;
  }
  return true;
}

// Opens the pack and reads its header: false when it cannot be a pack.
bool OpenPackHeader(const std::string& path, OpenPack* pack) {
  pack->file.reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!pack->file) return false;
  LARGE_INTEGER file_size{};
  if (!::GetFileSizeEx(pack->file.get(), &file_size)) return false;
  // The format counts in 32 bits; anything shorter than the header or longer
  // than 4 GiB cannot be a pack.
  if (file_size.QuadPart < static_cast<LONGLONG>(kPackHeaderSize) ||
      file_size.QuadPart - static_cast<LONGLONG>(kPackHeaderSize) > 0xFFFFFFFFLL) {
    return false;
  }
  uint8_t header[kPackHeaderSize];
  if (!ReadAt(pack->file.get(), 0, header, sizeof header)) return false;
  pack->body_length = static_cast<uint64_t>(file_size.QuadPart) - kPackHeaderSize;
  if (pack->body_length % aes128::kBlockSize != 0) return false;
  pack->payload_length = uint32_t{header[0]} | (uint32_t{header[1]} << 8) |
                         (uint32_t{header[2]} << 16) | (uint32_t{header[3]} << 24);
  return true;
}

}  // namespace

bool ReadPackDirectory(OpenPack* pack, HWND window, const StopCheck& stop) {
  PackProgress progress(window, 25, 20);
  PackDirectory& directory = pack->directory;
  const bool ok = ReadPackTable(
      pack->payload_length, pack->body_length,
      [&](uint64_t offset, void* dst, size_t n) {
        return !StopRaised(stop) && pack->reader->Read(offset, dst, n);
      },
      [&](std::string_view name, PackSpan span) { directory.Add(name, span); },
      [&](uint64_t done, uint64_t total) {
        // The count has passed its checks against the file: its index costs
        // at most a sixteenth of the table.
        if (done == 0) {
          directory.Reserve(static_cast<size_t>(total / kPackRecordSize));
        } else {
          // Counted by what has come in from the file: a table that fits one
          // window is read at once, as a small body always was.
          const uint64_t loaded = pack->reader->loaded_end() - 4;
          progress.Offer(PackProgressShare(std::max(done, std::min(loaded, total)), total) / 4);
        }
      });
  // A table that cannot be read whole gives no directory: installing a part
  // of it would pass for a complete installation.
  if (ok) {
    directory.Finish();
  } else {
    directory = PackDirectory();
  }
  progress.PostWithoutPause(25);
  return !directory.empty();
}

std::unique_ptr<OpenPack> DecryptPackFile(const std::string& path, std::string_view password,
                                          HWND window, const StopCheck& stop) {
  auto pack = std::make_unique<OpenPack>();
  if (!OpenPackHeader(path, pack.get())) return nullptr;
  const HANDLE handle = pack->file.get();
  pack->reader = std::make_unique<PackBodyReader>(
      [handle](uint64_t offset, uint8_t* dst, size_t n) {
        return ReadAt(handle, kPackHeaderSize + offset, dst, n);
      },
      pack->body_length, PackKeySchedule(password));
  ReadPackDirectory(pack.get(), window, stop);
  return pack;
}

aes128::KeySchedule PackKeySchedule(std::string_view password) {
  aes128::KeySchedule key;
  const auto raw_key = DerivePackKey(password);
  aes128::ExpandDecryptKey(raw_key.data(), &key);
  return key;
}
