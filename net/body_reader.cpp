#include "net/body_reader.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

struct BodyReader::Shared {
  std::mutex mu;
  std::condition_variable cv;
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
  {
    std::lock_guard<std::mutex> lock(shared_->mu);
    shared_->quit = true;
  }
  shared_->cv.notify_all();
  if (shared_->givenUp)
    shared_->thread.detach();
  else if (shared_->thread.joinable())
    shared_->thread.join();
}

void BodyReader::Start(char* buffer, DWORD want, DWORD at_least) {
  {
    std::lock_guard<std::mutex> lock(shared_->mu);
    shared_->buffer = buffer;
    shared_->want = want;
    shared_->atLeast = at_least;
    shared_->asked = 0;
    shared_->done = false;
    shared_->started = true;
  }
  shared_->cv.notify_all();
}

bool BodyReader::Wait(DWORD ms, Result* result) {
  std::unique_lock<std::mutex> lock(shared_->mu);
  if (!shared_->cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return shared_->done; }))
    return false;
  *result = shared_->result;
  shared_->done = false;
  return true;
}

DWORD BodyReader::asked() const {
  std::lock_guard<std::mutex> lock(shared_->mu);
  return shared_->asked;
}

void BodyReader::GiveUp(std::vector<char> buffer_storage, HINTERNET request, HINTERNET session) {
  bool finished = false;
  {
    std::lock_guard<std::mutex> lock(shared_->mu);
    shared_->storage = std::move(buffer_storage);
    shared_->request = request;
    shared_->session = session;
    shared_->givenUp = true;
    finished = !shared_->started;  // the read ended meanwhile: nobody else closes them
  }
  if (finished) shared_->cv.notify_all();
}

void BodyReader::Run(std::shared_ptr<Shared> s) {
  std::unique_lock<std::mutex> lock(s->mu);
  for (;;) {
    s->cv.wait(lock, [&] { return s->started || s->quit; });
    if (!s->started) break;  // quit between reads
    char* buffer = s->buffer;
    DWORD want = s->want;
    const DWORD at_least = s->atLeast;
    HINTERNET request = s->request;
    lock.unlock();
    // What has arrived, but at least `at_least`: the query returns once a
    // byte is there, the read then never waits for more than was asked.
    DWORD available = 0;
    if (at_least < want && ::InternetQueryDataAvailable(request, &available, 0, 0) &&
        available < want)
      want = std::max<DWORD>({available, at_least, 1});
    lock.lock();
    s->asked = want;
    lock.unlock();
    Result r;
    r.ok = ::InternetReadFile(request, buffer, want, &r.bytes) != FALSE;
    r.error = r.ok ? 0 : ::GetLastError();
    if (r.bytes > want) r.bytes = 0;
    lock.lock();
    s->result = r;
    s->started = false;
    s->done = true;
    s->cv.notify_all();
    if (s->givenUp) break;
  }
  const bool owned = s->givenUp;
  HINTERNET request = s->request;
  HINTERNET session = s->session;
  lock.unlock();
  if (owned) {
    // Given up: nobody else closes them any more.
    if (request) ::InternetCloseHandle(request);
    if (session) ::InternetCloseHandle(session);
  }
}
