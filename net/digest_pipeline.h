// Hashes the bytes a download writes on a second thread. The record stored
// after a transfer then needs no second pass over the file, and the hashing
// overlaps the network transfer instead of following it. Memory is bounded by
// a fixed set of chunk buffers that the transfer reads into.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/md5.h"

class DigestPipeline {
 public:
  // `prefix_path`/`prefix_length`: bytes already in the file before this
  // transfer (an appended download); they are hashed first, from the file.
  DigestPipeline(size_t chunk_bytes, size_t chunks, const std::string& prefix_path,
                 uint64_t prefix_length);
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

  // Waits until everything handed over is hashed. True with the digest text
  // and the byte count (prefix included) when every byte could be hashed.
  bool Finish(std::string* md5, uint64_t* total);

 private:
  struct Chunk {
    char* data;
    size_t size;
  };
  void Run(std::string prefix_path, uint64_t prefix_length);

  std::vector<std::vector<char>> storage_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<char*> free_;
  std::deque<Chunk> queued_;
  bool closing_ = false;
  bool worker_waiting_ = false;
  bool producer_waiting_ = false;
  bool busy_ = true;      // the worker is hashing (the prefix, or a chunk)
  bool ok_ = true;
  MD5_CTX ctx_;           // touched by the worker only while busy_
  uint64_t hashed_ = 0;   // bytes in ctx_
  uint64_t total_ = 0;
  bool markReady_ = false;
  std::string markMd5_;
  uint64_t markTotal_ = 0;
  std::string md5_;
  std::thread worker_;
};
