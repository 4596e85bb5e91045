#include "package/file_write_queue.h"

#include <new>
#include <utility>

// Pending operations beyond the pieces: a pack of many empty files must not
// queue a name for each of them.
constexpr size_t kMaxQueued = 64;

FileWriteQueue::FileWriteQueue() {
  for (size_t i = 0; i < kPieceCount; ++i) {
    std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[kPieceSize]);
    if (!piece) break;
    free_.push_back(piece.get());
    pool_.push_back(std::move(piece));
  }
  // Without a single piece nothing can be written: failed with no message,
  // the caller's own text describes it.
  if (pool_.empty()) failed_ = true;
  thread_ = std::thread([this] { Run(); });
}

FileWriteQueue::~FileWriteQueue() { Finish(nullptr); }

// Each side wakes the other only when it is waiting: under Wine every wake-up
// is a round trip through the server.
void FileWriteQueue::Push(Op op) {
  std::unique_lock<std::mutex> lock(mu_);
  if (op.kind != Op::kQuit && ops_.size() >= kMaxQueued + kPieceCount) {
    ++producer_waiting_;
    producer_wake_.wait(lock, [this] { return ops_.size() < kMaxQueued + kPieceCount; });
    --producer_waiting_;
  }
  ops_.push_back(std::move(op));
  if (writer_waiting_) writer_wake_.notify_one();
}

void FileWriteQueue::TakeAll(std::deque<Op>* out) {
  std::unique_lock<std::mutex> lock(mu_);
  if (ops_.empty()) {
    writer_waiting_ = true;
    writer_wake_.wait(lock, [this] { return !ops_.empty(); });
    writer_waiting_ = false;
  }
  out->swap(ops_);
  if (producer_waiting_) producer_wake_.notify_all();
}

void FileWriteQueue::Release(uint8_t* piece) {
  if (!piece) return;
  std::lock_guard<std::mutex> lock(mu_);
  free_.push_back(piece);
  if (producer_waiting_) producer_wake_.notify_all();
}

void FileWriteQueue::Fail(const std::string& message) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!failed_) {
    failed_ = true;
    message_ = message;
  }
  producer_wake_.notify_all();
}

bool FileWriteQueue::failed() const {
  std::lock_guard<std::mutex> lock(mu_);
  return failed_;
}

void FileWriteQueue::Begin(Opener open, const std::string& path, const std::string& failure) {
  Op op{Op::kBegin};
  op.open = std::move(open);
  op.path = path;
  op.failure = failure;
  Push(std::move(op));
}

void FileWriteQueue::BeginBorrowed(HANDLE file, const std::string& failure) {
  Op op{Op::kBegin};
  op.borrowed = file;
  op.failure = failure;
  Push(std::move(op));
}

uint8_t* FileWriteQueue::Piece() {
  std::unique_lock<std::mutex> lock(mu_);
  if (!failed_ && free_.empty()) {
    ++producer_waiting_;
    producer_wake_.wait(lock, [this] { return failed_ || !free_.empty(); });
    --producer_waiting_;
  }
  if (failed_) return nullptr;
  held_ = free_.back();
  free_.pop_back();
  return held_;
}

uint8_t* FileWriteQueue::TakeHeld() {
  std::lock_guard<std::mutex> lock(mu_);
  return std::exchange(held_, nullptr);
}

void FileWriteQueue::Fill(size_t n) {
  uint8_t* piece = TakeHeld();
  if (!piece) return;
  if (n == 0) return Release(piece);
  Op op{Op::kData};
  op.piece = piece;
  op.n = n;
  Push(std::move(op));
}

void FileWriteQueue::End() { Push(Op{Op::kEnd}); }

void FileWriteQueue::Abandon() {
  Release(TakeHeld());
  Push(Op{Op::kAbandon});
}

bool FileWriteQueue::Finish(std::string* message) {
  if (thread_.joinable()) {
    Push(Op{Op::kQuit});
    thread_.join();
  }
  std::lock_guard<std::mutex> lock(mu_);
  if (failed_ && message) *message = message_;
  return !failed_;
}

void FileWriteQueue::Drop(Current& file) {
  const bool opened_here = file.owned.valid();
  file.owned.reset();
  file.out = INVALID_HANDLE_VALUE;
  if (opened_here && !file.path.empty()) ::DeleteFileA(file.path.c_str());
}

void FileWriteQueue::Apply(Op& op, Current& file) {
  const bool going = !failed();
  switch (op.kind) {
    case Op::kBegin:
      file = Current();
      file.path = op.path;
      file.failure = op.failure;
      if (!going) break;
      if (op.open) file.owned = op.open();
      file.out = op.open ? file.owned.get() : op.borrowed;
      if (file.out == INVALID_HANDLE_VALUE || file.out == nullptr) {
        file.out = INVALID_HANDLE_VALUE;
        Fail(file.failure);
      }
      break;
    case Op::kData: {
      DWORD written = 0;
      if (going && file.out != INVALID_HANDLE_VALUE &&
          (!::WriteFile(file.out, op.piece, static_cast<DWORD>(op.n), &written, nullptr) ||
           written != op.n)) {
        Fail(file.failure);
        Drop(file);
      }
      Release(op.piece);
      break;
    }
    case Op::kEnd:
      file = Current();
      break;
    case Op::kAbandon:
    case Op::kQuit:  // a file not ended is incomplete
      Drop(file);
      file = Current();
      break;
  }
}

void FileWriteQueue::Run() {
  Current file;
  std::deque<Op> batch;
  for (;;) {
    TakeAll(&batch);
    for (Op& op : batch) {
      Apply(op, file);
      if (op.kind == Op::kQuit) return;
    }
    batch.clear();
  }
}
