// Checking a file block by block against expected SHA-256 digests while it
// is written, so a bad block is found as soon as it is complete and a resumed
// download keeps only blocks that matched. Blocks are of one fixed size, the
// last one shorter when the size is not a multiple of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/sha256.h"

constexpr uint64_t kDefaultVerifyBlockSize = 4 * 1024 * 1024;

// ceil(total_size / block_size); 0 when block_size is 0.
uint64_t VerifyBlockCount(uint64_t total_size, uint64_t block_size);

// Where a download with `local_size` bytes already on disk goes on: the end of
// the last whole block those bytes hold (a partial block cannot be checked
// and is fetched again). All of a complete file is kept; a local file longer
// than the file itself is not a part of it and starts again from 0.
uint64_t VerifiedResumeOffset(uint64_t local_size, uint64_t total_size, uint64_t block_size);

struct BlockCheck {
  uint64_t index = 0;
  bool matched = false;
};

class BlockDigests {
 public:
  // `expected` holds one digest per block. Use usable() before anything else:
  // a block size of 0 or a wrong number of digests checks nothing.
  BlockDigests(uint64_t total_size, uint64_t block_size, std::vector<Sha256Digest> expected);

  bool usable() const { return usable_; }
  uint64_t block_size() const { return block_; }
  bool complete() const { return usable_ && offset_ == total_; }
  // The end of the blocks that matched, counted from the start offset up to
  // the first bad one: the bytes below it may be kept.
  uint64_t verified_end() const { return verified_end_; }
  bool any_bad() const { return any_bad_; }

  // Starts again at `offset`, which must be a block boundary or the total
  // size; false (and nothing changed) otherwise.
  bool Start(uint64_t offset);
  // Takes the next bytes of the file. Returns how many were taken: fewer than
  // `size` only when the rest lies beyond the total size (or usable() is
  // false, then none). Each block the bytes complete is appended to
  // `completed` when it is given.
  size_t Feed(const void* data, size_t size, std::vector<BlockCheck>* completed);

 private:
  uint64_t BlockEnd(uint64_t index) const;

  uint64_t total_;
  uint64_t block_;
  std::vector<Sha256Digest> expected_;
  bool usable_;
  uint64_t offset_ = 0;
  uint64_t verified_end_ = 0;
  bool any_bad_ = false;
  Sha256 hash_;
};
