// Hashes the bytes a download writes on threads of their own. The record
// stored after a transfer then needs no second pass over the file, and the
// hashing overlaps the network transfer instead of following it. Memory is
// bounded by a fixed set of chunk buffers that the transfer reads into.
//
// A file the publisher signed is checked the same way: its whole SHA-256 and,
// when its record has them, its block digests, each on a thread of its own
// (they are slower than the MD5, and a machine with cores to spare runs them
// side by side). A buffer is free again once every one of them is done with it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/block_digests.h"
#include "core/md5.h"
#include "core/sha256.h"

struct ManifestFile;
class VerifiedArrival;

class DigestPipeline {
 public:
  static constexpr uint64_t kNoBadBlock = UINT64_MAX;

  // `prefix_path`/`prefix_length`: bytes already in the file before this
  // transfer (an appended download); they are hashed first, from the file.
  // `expected` (borrowed, may be null) adds the checks of a signed record. Its
  // blocks below a prefix that ends on a block boundary count as checked (a
  // resumed download checks them before it asks for the rest); any other
  // prefix is checked from the file. `arrival` (borrowed, may be null) is
  // moved on as blocks pass their digests; the bytes must be on disk before
  // they are handed over.
  DigestPipeline(size_t chunk_bytes, size_t chunks, const std::string& prefix_path,
                 uint64_t prefix_length, const ManifestFile* expected = nullptr,
                 VerifiedArrival* arrival = nullptr);
  ~DigestPipeline();
  DigestPipeline(const DigestPipeline&) = delete;
  DigestPipeline& operator=(const DigestPipeline&) = delete;

  // A free buffer of chunk_bytes (waits while every buffer is being hashed).
  char* Acquire();
  // Hands the first `n` bytes of an acquired buffer over for hashing.
  void Submit(char* buffer, size_t n);
  // Gives an acquired buffer back unhashed.
  void Release(char* buffer);

  // Takes an acquired buffer out of the pipeline for good, with its storage
  // (a read given up may still write into it); a new buffer takes its place.
  std::vector<char> Forfeit(char* buffer);

  // Asks for the digest of exactly the bytes handed over so far (prefix
  // included), without waiting: the hashing thread takes it when it gets
  // there, and hashing goes on. An earlier mark not yet taken is replaced.
  void Mark();
  // The digest of the latest mark once it is ready; false while it is not,
  // or when the prefix could not be read.
  bool TakeMark(std::string* md5, uint64_t* total);

  // Where the first block that failed its digest starts, as soon as it is
  // found (never waits); kNoBadBlock while none has.
  uint64_t BadBlockStart() const { return bad_block_.load(); }

  // Waits until everything handed over is hashed. True with the digest text
  // and the byte count (prefix included) when every byte could be hashed.
  bool Finish(std::string* md5, uint64_t* total);
  // After Finish, with an expected file: true when every byte (prefix
  // included) was hashed, the count is its size, its SHA-256 matches and no
  // block failed.
  bool MatchesExpected() const;

 private:
  struct Chunk {
    char* data;     // null: a mark
    size_t size;
    int pending;    // lanes that have not hashed it yet
  };
  struct Lane {
    uint64_t next = 0;  // sequence number of the next chunk it takes
    bool waiting = false;
    std::thread thread;
  };
  // Runs one lane: `take` gets each chunk in order (marks too) until the
  // pipeline closes and nothing is left.
  void Serve(Lane* lane, const std::function<void(const Chunk&)>& take);
  void RunMd5(Lane* lane, const std::string& prefix_path, uint64_t prefix_length);
  void RunSha256(Lane* lane, const std::string& prefix_path, uint64_t prefix_length);
  void RunBlocks(Lane* lane, const std::string& prefix_path, uint64_t prefix_length);
  using LaneRun = void (DigestPipeline::*)(Lane*, const std::string&, uint64_t);
  void Close();

  std::vector<std::vector<char>> storage_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<char*> free_;
  std::deque<Chunk> queued_;
  uint64_t first_ = 0;  // sequence number of queued_.front()
  std::vector<std::unique_ptr<Lane>> lanes_;
  bool closing_ = false;
  bool producer_waiting_ = false;
  std::atomic<bool> ok_{true};  // every byte could be read and hashed
  // The MD5 lane's digest and count, touched by that lane alone until Finish.
  MD5_CTX ctx_;
  uint64_t hashed_ = 0;
  uint64_t total_ = 0;
  bool mark_ready_ = false;
  std::string mark_md5_;
  uint64_t mark_total_ = 0;
  std::string md5_;
  // The signed record's checks.
  const uint64_t expected_size_;
  const Sha256Digest expected_sha256_;
  std::unique_ptr<BlockDigests> blocks_;
  Sha256 sha_;
  uint64_t sha_total_ = 0;
  Sha256Digest sha256_{};
  std::atomic<uint64_t> bad_block_{kNoBadBlock};
  VerifiedArrival* const arrival_;
  const bool checking_;
  bool whole_sha_ = false;  // no per-block digests: the whole-file pass judges
};
