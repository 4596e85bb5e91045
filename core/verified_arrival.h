// How much of a file being downloaded is on disk and has passed its block
// digests, shared by the download (which moves it on) and a reader that
// follows the file while it arrives (the extraction of a package).
//
// The download only ever appends within one transfer. Anything that may cut
// or rewrite the file (a new attempt, a restart from 0) first rewinds: the
// generation changes, and a reader that read during the change throws those
// bytes away. So a reader never keeps a byte that was not verified where it
// lay when it read it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class VerifiedArrival {
 public:
  struct Snapshot {
    uint64_t end = 0;         // bytes from the start that may be read
    uint64_t generation = 0;  // changes with every rewind
    bool complete = false;    // the download succeeded: `end` is the whole file
    bool abandoned = false;   // the download ended without the file
  };

  // More of the file is verified (a lower value is ignored).
  void Advance(uint64_t end);
  // The file may change below the current end: nothing is vouched for.
  void Rewind();
  void Complete(uint64_t size);
  void Abandon();

  // The reader has failed for good (its failure ends the installation): the
  // rest of the file is of no use, and the download may stop.
  void GiveUp() { given_up_.store(true); }
  bool GivenUp() const { return given_up_.load(); }

  Snapshot Now() const;
  // Waits up to `ms` for an end beyond `have`, a rewind, or the download's
  // end, and returns the state then.
  Snapshot WaitBeyond(uint64_t have, uint64_t generation, unsigned ms) const;

 private:
  mutable std::mutex mu_;
  mutable std::condition_variable changed_;
  Snapshot state_;
  std::atomic<bool> given_up_{false};
};
