// Reads a pack file (8-byte header, then an AES-128-ECB body) into memory and
// decrypts it in place, posting progress 0..50 to the window.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "package/aes128.h"

struct PackBody {
  std::unique_ptr<uint8_t[]> data;  // the whole decrypted body, file size - 8 bytes
  size_t length = 0;
  uint32_t payload_length = 0;  // the header's first word
};

// Share of the body done, 0..100, after `done` bytes (read, or the offset of
// the block just decrypted). Counted in whole KiB when the body has any.
int PackProgressShare(uint64_t done, uint64_t body_length);

// Decrypts whole blocks in place, calling `on_block(offset)` with the offset of
// the last block decrypted whenever that offset's share may have changed
// (every block for bodies under 1 KiB, else once per 1 KiB run).
template <typename OnBlock>
void DecryptBodyWithProgress(const aes128::KeySchedule& key, uint8_t* data, size_t length,
                             OnBlock on_block) {
  const size_t step = length >= 1024 ? 1024 : aes128::kBlockSize;
  for (size_t pos = 0; pos < length; pos += step) {
    size_t run = length - pos < step ? length - pos : step;
    aes128::DecryptEcb(key, data + pos, run);
    on_block(pos + run - aes128::kBlockSize);  // a 1 KiB run shares one share
  }
}

// Fills `dst` with `length` bytes, each call of `read(dst, want)` asking for
// everything still missing; `read` returns the count it placed, 0 on failure
// or end of file. `on_read(total)` follows every successful read. Returns the
// bytes placed, which is less than `length` when the source ended early.
template <typename ReadFn, typename OnRead>
uint32_t ReadBody(ReadFn read, uint8_t* dst, uint32_t length, OnRead on_read) {
  uint32_t have = 0;
  while (have < length) {
    uint32_t got = read(dst + have, length - have);
    if (got == 0 || got > length - have) break;
    have += got;
    on_read(have);
  }
  return have;
}

// The decrypted body, or nothing when the file is missing, unreadable, ends
// short, is shorter than its header, or its body is not whole blocks.
std::optional<PackBody> DecryptPackFile(const std::string& path, std::string_view password,
                                        HWND window);
