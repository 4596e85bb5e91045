#include "net/body_reader.h"

#include <algorithm>
#include <thread>

#include "net/scoped_internet.h"

namespace {

// The platform's own lock and condition: under Wine they wait on the host's
// futexes, where a runtime's condition variable costs a round trip through
// the server for every hand-over, and a fast line hands over hundreds a second.
class Guard {
 public:
  explicit Guard(SRWLOCK* lock) : lock_(lock) { ::AcquireSRWLockExclusive(lock_); }
  ~Guard() { if (lock_) ::ReleaseSRWLockExclusive(lock_); }
  void Unlock() { ::ReleaseSRWLockExclusive(lock_); lock_ = nullptr; }
  void Lock(SRWLOCK* lock) { lock_ = lock; ::AcquireSRWLockExclusive(lock_); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  SRWLOCK* lock_;
};

}  // namespace

struct BodyReader::Shared {
  SRWLOCK mu = SRWLOCK_INIT;
  CONDITION_VARIABLE cv = CONDITION_VARIABLE_INIT;
  HINTERNET request = nullptr;  // borrowed until given up, then owned
  HINTERNET session = nullptr;  // owned once given up
  std::vector<char> storage;    // the buffer of a read given up
  char* buffer = nullptr;
  DWORD want = 0;
  DWORD atLeast = 0;
  DWORD asked = 0;
  bool started = false;  // a read waits for the thread or runs
  bool done = false;
  bool quit = false;
  bool givenUp = false;
  Result result;
  std::thread thread;
};

BodyReader::BodyReader(HINTERNET request) : shared_(std::make_shared<Shared>()) {
  shared_->request = request;
  shared_->thread = std::thread(&BodyReader::Run, shared_);
}

BodyReader::~BodyReader() {
  bool given_up = false;
  {
    Guard lock(&shared_->mu);
    shared_->quit = true;
    given_up = shared_->givenUp;
  }
  ::WakeAllConditionVariable(&shared_->cv);
  if (given_up)
    shared_->thread.detach();
  else if (shared_->thread.joinable())
    shared_->thread.join();
}

void BodyReader::Start(char* buffer, DWORD want, DWORD at_least) {
  {
    Guard lock(&shared_->mu);
    shared_->buffer = buffer;
    shared_->want = want;
    shared_->atLeast = at_least;
    shared_->asked = 0;
    shared_->done = false;
    shared_->started = true;
  }
  ::WakeAllConditionVariable(&shared_->cv);
}

bool BodyReader::Wait(DWORD ms, Result* result) {
  Guard lock(&shared_->mu);
  const DWORD start = ::GetTickCount();
  while (!shared_->done) {
    const DWORD waited = ::GetTickCount() - start;
    if (waited >= ms) return false;
    ::SleepConditionVariableSRW(&shared_->cv, &shared_->mu, ms - waited, 0);
  }
  *result = shared_->result;
  shared_->done = false;
  return true;
}

DWORD BodyReader::asked() const {
  Guard lock(&shared_->mu);
  return shared_->asked;
}

void BodyReader::GiveUp(std::vector<char> buffer_storage, HINTERNET request, HINTERNET session) {
  bool finished = false;
  {
    Guard lock(&shared_->mu);
    shared_->storage = std::move(buffer_storage);
    shared_->request = request;
    shared_->session = session;
    shared_->givenUp = true;
    finished = !shared_->started;  // the read ended meanwhile: nobody else closes them
  }
  if (finished) ::WakeAllConditionVariable(&shared_->cv);
}

void BodyReader::Run(std::shared_ptr<Shared> s) {
  Guard lock(&s->mu);
  for (;;) {
    while (!s->started && !s->quit) ::SleepConditionVariableSRW(&s->cv, &s->mu, INFINITE, 0);
    if (!s->started) break;  // quit between reads
    char* buffer = s->buffer;
    DWORD want = s->want;
    const DWORD at_least = s->atLeast;
    HINTERNET request = s->request;
    lock.Unlock();
    // What has arrived, but at least `at_least`: the query returns once a
    // byte is there, the read then never waits for more than was asked.
    DWORD available = 0;
    if (at_least < want && ::InternetQueryDataAvailable(request, &available, 0, 0) &&
        available < want)
      want = std::max<DWORD>({available, at_least, 1});
    lock.Lock(&s->mu);
    s->asked = want;
    lock.Unlock();
    Result r;
    r.ok = ::InternetReadFile(request, buffer, want, &r.bytes) != FALSE;
    r.error = r.ok ? 0 : ::GetLastError();
    if (r.bytes > want) r.bytes = 0;
    lock.Lock(&s->mu);
    s->result = r;
    s->started = false;
    s->done = true;
    ::WakeAllConditionVariable(&s->cv);
    if (s->givenUp) break;
  }
  // Given up: nobody else closes them any more (the request before its session).
  ScopedInternetHandle session(s->givenUp ? s->session : nullptr);
  ScopedInternetHandle request(s->givenUp ? s->request : nullptr);
  lock.Unlock();
}
