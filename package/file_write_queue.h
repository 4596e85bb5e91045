// Writes files on a thread of its own. The extraction inflates, reads and
// decrypts the next piece, and makes its progress pauses, while earlier
// pieces are written: under a file system's per-call costs the writing is a
// large share of the step. Pieces come from a small fixed pool and the queue
// of pending work is bounded, so memory stays the same for any package.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "system/scoped_handle.h"

class FileWriteQueue {
 public:
  static constexpr size_t kPieceSize = 512 * 1024;
  static constexpr size_t kPieceCount = 8;
  // Opens a file on the writing thread; an invalid handle fails the file.
  using Opener = std::function<ScopedFileHandle()>;

  FileWriteQueue();
  // Waits for the thread; a file not ended is deleted (or, when borrowed,
  // left to its owner).
  ~FileWriteQueue();
  FileWriteQueue(const FileWriteQueue&) = delete;
  FileWriteQueue& operator=(const FileWriteQueue&) = delete;

  // Starts a file that `open` opens. When it cannot be opened or written,
  // `failure` becomes the queue's message, and a file opened here is deleted
  // so that a cut-off copy cannot pass for an installed one.
  void Begin(Opener open, const std::string& path, const std::string& failure);
  // Starts writing to a handle the caller owns and closes after Finish().
  void BeginBorrowed(HANDLE file, const std::string& failure);
  // A free piece of kPieceSize bytes, waiting while all are in use; nullptr
  // once a file has failed, as there is no point in reading further.
  uint8_t* Piece();
  // Hands over the piece last returned by Piece() with its first n bytes set.
  void Fill(size_t n);
  // Ends the current file; one opened here is closed. The opener is the one
  // to empty a file that was there before.
  void End();
  // Drops the current file (deleted when opened here).
  void Abandon();
  // Waits until everything handed over is done. False, with `message` set,
  // when a file failed.
  bool Finish(std::string* message);
  bool failed() const;

 private:
  struct Op {
    enum Kind { kBegin, kData, kEnd, kAbandon, kQuit } kind;
    Opener open;
    HANDLE borrowed = INVALID_HANDLE_VALUE;
    std::string path;
    std::string failure;
    uint8_t* piece = nullptr;
    size_t n = 0;
  };
  // The file the thread is writing.
  struct Current {
    ScopedFileHandle owned;
    HANDLE out = INVALID_HANDLE_VALUE;  // owned.get() or a borrowed handle
    std::string path;                   // deleted on failure when opened here
    std::string failure;
  };

  void Push(Op op);
  void TakeAll(std::deque<Op>* out);
  void Release(uint8_t* piece);
  uint8_t* TakeHeld();  // the piece handed out by Piece(), now the caller's
  void Fail(const std::string& message);
  void Run();
  void Apply(Op& op, Current& file);
  void Drop(Current& file);

  mutable std::mutex mu_;
  std::condition_variable writer_wake_;
  std::condition_variable producer_wake_;
  bool writer_waiting_ = false;
  int producer_waiting_ = 0;
  std::deque<Op> ops_;
  std::vector<std::unique_ptr<uint8_t[]>> pool_;
  std::vector<uint8_t*> free_;
  uint8_t* held_ = nullptr;  // handed out by Piece(), not yet filled
  bool failed_ = false;
  std::string message_;
  std::thread thread_;
};
