#include "core/verified_arrival.h"

#include <chrono>

void VerifiedArrival::Advance(uint64_t end) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (end <= state_.end || state_.complete || state_.abandoned) return;
    state_.end = end;
  }
  changed_.notify_all();
}

void VerifiedArrival::Rewind() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    state_.end = 0;
    ++state_.generation;
  }
  changed_.notify_all();
}

void VerifiedArrival::Complete(uint64_t size) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    state_.end = size;
    state_.complete = true;
  }
  changed_.notify_all();
}

void VerifiedArrival::Abandon() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    state_.abandoned = true;
  }
  changed_.notify_all();
}

VerifiedArrival::Snapshot VerifiedArrival::Now() const {
  std::lock_guard<std::mutex> lock(mu_);
  return state_;
}

VerifiedArrival::Snapshot VerifiedArrival::WaitBeyond(uint64_t have, uint64_t generation,
                                                      unsigned ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
    return state_.end > have || state_.generation != generation || state_.complete ||
           state_.abandoned;
  });
  return state_;
}
