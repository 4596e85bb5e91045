// AES-128 (FIPS-197) block operations for the pack cipher. The S-boxes and
// round tables are computed once, on the first key expansion, and then only
// read. Decryption is what the installer needs; encryption exists for the
// package builder and the tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace aes128 {

constexpr size_t kBlockSize = 16;
constexpr size_t kKeySize = 16;

// Round keys of one direction (11 round keys of four words each).
struct KeySchedule {
  uint32_t words[44];
};

void ExpandEncryptKey(const uint8_t key[kKeySize], KeySchedule* schedule);
// The equivalent-inverse schedule used by DecryptBlock.
void ExpandDecryptKey(const uint8_t key[kKeySize], KeySchedule* schedule);

void EncryptBlock(const KeySchedule& schedule, uint8_t block[kBlockSize]);
void DecryptBlock(const KeySchedule& schedule, uint8_t block[kBlockSize]);

// ECB over whole blocks, in place; `size` must be a multiple of 16.
void EncryptEcb(const KeySchedule& schedule, uint8_t* data, size_t size);
void DecryptEcb(const KeySchedule& schedule, uint8_t* data, size_t size);

}  // namespace aes128
