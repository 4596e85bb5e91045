#include "net/digest_pipeline.h"

#include <share.h>
#include <stdio.h>

#include <algorithm>

#include "system/scoped_handle.h"

DigestPipeline::DigestPipeline(size_t chunk_bytes, size_t chunks, const std::string& prefix_path,
                               uint64_t prefix_length)
    : storage_(chunks, std::vector<char>(chunk_bytes)) {
  for (auto& s : storage_) free_.push_back(s.data());
  worker_ = std::thread([this, prefix_path, prefix_length] { Run(prefix_path, prefix_length); });
}

DigestPipeline::~DigestPipeline() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    closing_ = true;
  }
  cv_.notify_all();
  if (worker_.joinable()) worker_.join();
}

char* DigestPipeline::Acquire() {
  std::unique_lock<std::mutex> lock(mu_);
  if (free_.empty()) {
    producer_waiting_ = true;
    cv_.wait(lock, [this] { return !free_.empty(); });
    producer_waiting_ = false;
  }
  char* b = free_.back();
  free_.pop_back();
  return b;
}

// Each side wakes the other only when it waits: under Wine a wake-up is a
// round trip through the server, and a fast download hands over thousands of
// chunks.
void DigestPipeline::Submit(char* buffer, size_t n) {
  std::lock_guard<std::mutex> lock(mu_);
  queued_.push_back({buffer, n});
  if (worker_waiting_) cv_.notify_all();
}

void DigestPipeline::Release(char* buffer) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    free_.push_back(buffer);
  }
  cv_.notify_all();
}

std::vector<char> DigestPipeline::Forfeit(char* buffer) {
  std::vector<char> taken;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto& s : storage_) {
      if (s.data() != buffer) continue;
      const size_t size = s.size();
      taken = std::move(s);
      s = std::vector<char>(size);
      free_.push_back(s.data());
      break;
    }
  }
  cv_.notify_all();
  return taken;
}

void DigestPipeline::Mark() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    queued_.push_back({nullptr, 0});  // a marker, not bytes
  }
  cv_.notify_all();
}

bool DigestPipeline::TakeMark(std::string* md5, uint64_t* total) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!markReady_ || !ok_) return false;
  markReady_ = false;
  *md5 = markMd5_;
  *total = markTotal_;
  return true;
}

bool DigestPipeline::Finish(std::string* md5, uint64_t* total) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    closing_ = true;
  }
  cv_.notify_all();
  if (worker_.joinable()) worker_.join();
  *md5 = md5_;
  *total = total_;
  return ok_;
}

void DigestPipeline::Run(std::string prefix_path, uint64_t prefix_length) {
  uint64_t total = 0;
  bool ok = true;
  if (prefix_length > 0) {
    // The part on disk before this transfer; only ever appended to meanwhile.
    ScopedStdioFile file(::_fsopen(prefix_path.c_str(), "rb", _SH_DENYNO));
    std::vector<char> buffer(256 * 1024);
    while (ok && total < prefix_length) {
      size_t want = static_cast<size_t>(
          std::min<uint64_t>(buffer.size(), prefix_length - total));
      size_t got = file ? ::fread(buffer.data(), 1, want, file.get()) : 0;
      ctx_.Update(buffer.data(), got);
      total += got;
      if (got < want) ok = false;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    hashed_ = total;
    ok_ = ok;
    busy_ = false;
  }
  cv_.notify_all();
  for (;;) {
    Chunk chunk;
    {
      std::unique_lock<std::mutex> lock(mu_);
      if (queued_.empty() && !closing_) {
        worker_waiting_ = true;
        cv_.wait(lock, [this] { return !queued_.empty() || closing_; });
        worker_waiting_ = false;
      }
      if (queued_.empty()) break;  // closing and nothing left
      chunk = queued_.front();
      queued_.pop_front();
      busy_ = true;
    }
    if (chunk.data == nullptr) {
      // A copy is finalised, so the running digest goes on unchanged.
      MD5_CTX copy(ctx_);
      unsigned char digest[16];
      copy.Final(digest);
      std::lock_guard<std::mutex> lock(mu_);
      markMd5_ = Md5Hex(digest);
      markTotal_ = hashed_;
      markReady_ = true;
      busy_ = false;
      continue;
    }
    ctx_.Update(chunk.data, chunk.size);
    std::lock_guard<std::mutex> lock(mu_);
    hashed_ += chunk.size;
    busy_ = false;
    free_.push_back(chunk.data);
    if (producer_waiting_) cv_.notify_all();
  }
  unsigned char digest[16];
  ctx_.Final(digest);
  std::lock_guard<std::mutex> lock(mu_);
  md5_ = Md5Hex(digest);
  total_ = hashed_;
}
