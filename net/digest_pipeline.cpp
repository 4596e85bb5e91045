#include "net/digest_pipeline.h"

#include <algorithm>

#include "core/signed_manifest.h"
#include "core/verified_arrival.h"
#include "net/download_verify.h"

namespace {

// Reads the first `length` bytes of the file at `path` into `take`; false
// when fewer could be read. The file is only ever appended to meanwhile.
bool ReadPrefix(const std::string& path, uint64_t length,
                const std::function<void(const char*, size_t)>& take) {
  if (length == 0) return true;
  ScopedStdioFile file = OpenShared(path);
  return file && ReadInto(file.get(), length, take);
}

}  // namespace

DigestPipeline::DigestPipeline(size_t chunk_bytes, size_t chunks, const std::string& prefix_path,
                               uint64_t prefix_length, const ManifestFile* expected,
                               VerifiedArrival* arrival)
    : storage_(chunks, std::vector<char>(chunk_bytes)),
      expected_size_(expected ? expected->size : 0),
      expected_sha256_(expected ? expected->sha256 : Sha256Digest{}),
      arrival_(arrival),
      checking_(expected != nullptr) {
  for (auto& s : storage_) free_.push_back(s.data());
  if (expected && expected->blockSize != 0) {
    blocks_ = std::make_unique<BlockDigests>(expected->size, expected->blockSize, expected->blocks);
    if (!blocks_->usable()) blocks_.reset();
  }
  // With per-block digests the signed size and every block's digest fix each
  // byte, so the whole-file SHA-256 would only repeat that work.
  whole_sha_ = checking_ && !blocks_;
  std::vector<LaneRun> runs = {&DigestPipeline::RunMd5};
  if (whole_sha_) runs.push_back(&DigestPipeline::RunSha256);
  if (blocks_) runs.push_back(&DigestPipeline::RunBlocks);
  for (size_t i = 0; i < runs.size(); ++i) lanes_.push_back(std::make_unique<Lane>());
  // Every lane exists before any starts: a lane frees a chunk by counting them.
  for (size_t i = 0; i < runs.size(); ++i)
    lanes_[i]->thread = std::thread(runs[i], this, lanes_[i].get(), prefix_path, prefix_length);
}

DigestPipeline::~DigestPipeline() { Close(); }

void DigestPipeline::Close() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    closing_ = true;
  }
  cv_.notify_all();
  for (auto& lane : lanes_)
    if (lane->thread.joinable()) lane->thread.join();
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
  queued_.push_back({buffer, n, static_cast<int>(lanes_.size())});
  if (std::any_of(lanes_.begin(), lanes_.end(), [](const auto& lane) { return lane->waiting; }))
    cv_.notify_all();
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
    queued_.push_back({nullptr, 0, static_cast<int>(lanes_.size())});
  }
  cv_.notify_all();
}

bool DigestPipeline::TakeMark(std::string* md5, uint64_t* total) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!mark_ready_ || !ok_) return false;
  mark_ready_ = false;
  *md5 = mark_md5_;
  *total = mark_total_;
  return true;
}

bool DigestPipeline::Finish(std::string* md5, uint64_t* total) {
  Close();
  *md5 = md5_;
  *total = total_;
  return ok_;
}

bool DigestPipeline::MatchesExpected() const {
  if (!checking_ || !ok_ || bad_block_.load() != kNoBadBlock || total_ != expected_size_) return false;
  if (!whole_sha_) return blocks_->complete() && !blocks_->any_bad();
  return sha_total_ == expected_size_ && sha256_ == expected_sha256_;
}

void DigestPipeline::Serve(Lane* lane, const std::function<void(const Chunk&)>& take) {
  for (;;) {
    Chunk chunk;
    {
      std::unique_lock<std::mutex> lock(mu_);
      auto ready = [&] { return lane->next < first_ + queued_.size() || closing_; };
      if (!ready()) {
        lane->waiting = true;
        cv_.wait(lock, ready);
        lane->waiting = false;
      }
      if (lane->next == first_ + queued_.size()) return;  // closing and nothing left
      chunk = queued_[static_cast<size_t>(lane->next - first_)];
    }
    take(chunk);
    std::lock_guard<std::mutex> lock(mu_);
    --queued_[static_cast<size_t>(lane->next - first_)].pending;
    ++lane->next;
    bool freed = false;
    while (!queued_.empty() && queued_.front().pending == 0) {
      if (queued_.front().data) free_.push_back(queued_.front().data);
      queued_.pop_front();
      ++first_;
      freed = true;
    }
    if (freed && producer_waiting_) cv_.notify_all();
  }
}

void DigestPipeline::RunMd5(Lane* lane, const std::string& prefix_path, uint64_t prefix_length) {
  uint64_t total = 0;
  const bool ok = ReadPrefix(prefix_path, prefix_length, [&](const char* data, size_t n) {
    ctx_.Update(data, n);
    total += n;
  });
  {
    std::lock_guard<std::mutex> lock(mu_);
    hashed_ = total;
    if (!ok) ok_ = false;
  }
  Serve(lane, [this](const Chunk& chunk) {
    if (chunk.data == nullptr) {
      // A copy is finalised, so the running digest goes on unchanged.
      MD5_CTX copy(ctx_);
      const std::string md5 = FinalMd5Hex(&copy);
      std::lock_guard<std::mutex> lock(mu_);
      mark_md5_ = md5;
      mark_total_ = hashed_;
      mark_ready_ = true;
      return;
    }
    ctx_.Update(chunk.data, chunk.size);
    std::lock_guard<std::mutex> lock(mu_);
    hashed_ += chunk.size;
  });
  const std::string md5 = FinalMd5Hex(&ctx_);
  std::lock_guard<std::mutex> lock(mu_);
  md5_ = md5;
  total_ = hashed_;
}

void DigestPipeline::RunSha256(Lane* lane, const std::string& prefix_path,
                               uint64_t prefix_length) {
  uint64_t total = 0;
  auto take = [&](const char* data, size_t n) {
    sha_.Update(data, n);
    total += n;
  };
  const bool ok = ReadPrefix(prefix_path, prefix_length, take);
  Serve(lane, [&](const Chunk& chunk) {
    if (chunk.data) take(chunk.data, chunk.size);
  });
  const Sha256Digest digest = sha_.Final();
  std::lock_guard<std::mutex> lock(mu_);
  if (!ok) ok_ = false;
  sha256_ = digest;
  sha_total_ = total;
}

void DigestPipeline::RunBlocks(Lane* lane, const std::string& prefix_path,
                               uint64_t prefix_length) {
  std::vector<BlockCheck> completed;
  auto take = [&](const char* data, size_t n) {
    if (bad_block_.load() != kNoBadBlock) return;  // the rest is fetched again anyway
    completed.clear();
    blocks_->Feed(data, n, &completed);
    for (const BlockCheck& c : completed) {
      if (!c.matched) {
        bad_block_ = c.index * blocks_->block_size();
        return;
      }
    }
    if (arrival_ && !completed.empty()) arrival_->Advance(blocks_->verified_end());
  };
  bool ok = true;
  if (!blocks_->Start(prefix_length)) {
    blocks_->Start(0);
    ok = ReadPrefix(prefix_path, prefix_length, take);
  } else if (arrival_) {
    arrival_->Advance(prefix_length);
  }
  Serve(lane, [&](const Chunk& chunk) {
    if (chunk.data) take(chunk.data, chunk.size);
  });
  if (!ok) ok_ = false;
}
