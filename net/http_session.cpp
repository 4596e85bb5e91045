#include "net/http_session.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "net/servers.h"
#include "system/run_with_deadline.h"

namespace {

constexpr DWORD kChunk = 8191;          // bytes asked for per read
constexpr size_t kMaxBody = 64 * 1024;  // the answer is dropped anyway
constexpr DWORD kFetchFlags = 9;  // bits 0x1 and 0x8; none of the reload or no-cache flags of file downloads
constexpr DWORD kSessionTimeoutMs = 3000;
// WinINet under Wine ignores receive time-outs: this bound holds everywhere.
constexpr DWORD kDefaultWaitMs = 4000;

std::atomic<DWORD> g_wait_ms{kDefaultWaitMs};

// One fetch, shared by the waiting thread and the helper that runs it.
struct PendingFetch {
  std::shared_ptr<ScopedInternetHandle> session;  // kept open while the helper runs
  std::string url;
  std::mutex mu;
  bool abandoned = false;
  ScopedInternetHandle request;  // handed to the session when the waiter takes it
  long error = 0;
  std::vector<char> text;
};

void RunFetch(std::shared_ptr<PendingFetch> f) {
  ScopedInternetHandle request(
      ::InternetOpenUrlA(f->session->get(), f->url.c_str(), nullptr, 0, kFetchFlags, 0));
  long error = request ? 0 : static_cast<long>(::GetLastError());
  std::vector<char> text;
  if (request) {
    char chunk[kChunk];
    DWORD n = 0;
    while (text.size() < kMaxBody &&
           ::InternetReadFile(request.get(), chunk, kChunk, &n) && n > 0) {
      text.insert(text.end(), chunk, chunk + std::min<size_t>(n, kMaxBody - text.size()));
      n = 0;
    }
  }
  text.push_back('\0');
  {
    std::lock_guard<std::mutex> lock(f->mu);
    f->error = error;
    f->text.swap(text);
    // Nobody waits any more: the request is closed here, with this thread.
    if (!f->abandoned) f->request = std::move(request);
  }
}

}  // namespace

ScopedInternetHandle OpenDirectSession(DWORD timeout_ms) {
  ScopedInternetHandle session(::InternetOpenA(servers::kSessionUserAgent,
                                               INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!session) return session;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT})
    ::InternetSetOptionA(session.get(), option, &timeout_ms, sizeof timeout_ms);
  return session;
}

void OpenHttpSession(HttpSession* s) {
  ScopedInternetHandle session = OpenDirectSession(kSessionTimeoutMs);
  s->session = session ? std::make_shared<ScopedInternetHandle>(std::move(session)) : nullptr;
}

const char* FetchUrlText(HttpSession* s, const char* url) {
  if (url == nullptr) {
    s->lastError = -1;
    return nullptr;
  }
  s->request.reset();
  if (!s->session || !*s->session) {
    ::InternetOpenUrlA(nullptr, url, nullptr, 0, kFetchFlags, 0);  // for its error code
    s->lastError = static_cast<long>(::GetLastError());
    return nullptr;
  }
  auto f = std::make_shared<PendingFetch>();
  f->session = s->session;
  f->url = url;
  const DeadlineWait wait =
      RunWithDeadline([f] { RunFetch(f); }, g_wait_ms.load(), [](DWORD) { return false; });
  if (wait == DeadlineWait::kNoThread) {
    s->lastError = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(f->mu);
  if (wait == DeadlineWait::kLeft) {
    f->abandoned = true;
    s->lastError = ERROR_INTERNET_TIMEOUT;
    return nullptr;
  }
  if (!f->request) {
    s->lastError = f->error;
    return nullptr;
  }
  s->request = std::move(f->request);
  s->text.swap(f->text);
  return s->text.data();
}

void CloseHttpSession(HttpSession* s) {
  s->text.clear();
  s->text.shrink_to_fit();
  s->request.reset();
  s->session.reset();
}

void SetFetchWaitForTesting(DWORD ms) { g_wait_ms = ms ? ms : kDefaultWaitMs; }
