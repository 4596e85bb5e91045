#include "core/block_digests.h"

#include <algorithm>
#include <utility>

uint64_t VerifyBlockCount(uint64_t total_size, uint64_t block_size) {
  if (block_size == 0) return 0;
  return total_size / block_size + (total_size % block_size != 0);
}

uint64_t VerifiedResumeOffset(uint64_t local_size, uint64_t total_size, uint64_t block_size) {
  if (block_size == 0 || local_size > total_size) return 0;
  if (local_size == total_size) return total_size;
  return local_size - local_size % block_size;
}

BlockDigests::BlockDigests(uint64_t total_size, uint64_t block_size,
                           std::vector<Sha256Digest> expected)
    : total_(total_size),
      block_(block_size),
      expected_(std::move(expected)),
      usable_(block_size != 0 && expected_.size() == VerifyBlockCount(total_size, block_size)) {}

uint64_t BlockDigests::BlockEnd(uint64_t index) const {
  return index + 1 == expected_.size() ? total_ : (index + 1) * block_;
}

bool BlockDigests::Start(uint64_t offset) {
  if (!usable_ || offset > total_ || (offset % block_ != 0 && offset != total_)) return false;
  offset_ = verified_end_ = offset;
  any_bad_ = false;
  hash_.Final();  // drops a block begun before
  return true;
}

size_t BlockDigests::Feed(const void* data, size_t size, std::vector<BlockCheck>* completed) {
  if (!usable_) return 0;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  const size_t taken = static_cast<size_t>(std::min<uint64_t>(size, total_ - offset_));
  size_t at = 0;
  while (at < taken) {
    const uint64_t index = offset_ / block_;
    const uint64_t end = BlockEnd(index);
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(taken - at, end - offset_));
    hash_.Update(bytes + at, piece);
    at += piece;
    offset_ += piece;
    if (offset_ != end) break;
    const bool matched = hash_.Final() == expected_[static_cast<size_t>(index)];
    if (matched && !any_bad_) verified_end_ = end;
    if (!matched) any_bad_ = true;
    if (completed) completed->push_back({index, matched});
  }
  return taken;
}
