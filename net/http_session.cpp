#include "net/http_session.h"

#include <cstring>

#include "net/servers.h"

namespace {
constexpr DWORD kChunk = 8191;     // bytes asked for per read
constexpr size_t kSlack = 8192;    // the buffer always has this much room past the text
constexpr DWORD kFetchFlags = 9;   // bits 0x1 and 0x8; none of the reload or no-cache flags of file downloads
}  // namespace

void OpenHttpSession(HttpSession* s) {
  s->session.reset(::InternetOpenA(servers::kSessionUserAgent, INTERNET_OPEN_TYPE_DIRECT,
                                   nullptr, nullptr, 0));
}

const char* FetchUrlText(HttpSession* s, const char* url) {
  if (url == nullptr) {
    s->lastError = -1;
    return nullptr;
  }
  s->request.reset();
  s->request.reset(::InternetOpenUrlA(s->session.get(), url, nullptr, 0, kFetchFlags, 0));
  if (!s->request) {
    s->lastError = static_cast<long>(::GetLastError());
    return nullptr;
  }
  s->text.assign(kSlack + 1, '\0');
  size_t total = 0;
  char chunk[kChunk + 1];
  DWORD n = 0;
  if (!::InternetReadFile(s->request.get(), chunk, kChunk, &n)) return s->text.data();
  while (n > 0) {
    std::memcpy(s->text.data() + total, chunk, n);
    total += n;
    s->text.resize(total + kSlack, '\0');
    s->text[total] = '\0';
    n = 0;
    if (!::InternetReadFile(s->request.get(), chunk, kChunk, &n)) break;
  }
  return s->text.data();
}

void CloseHttpSession(HttpSession* s) {
  s->text.clear();
  s->text.shrink_to_fit();
  s->request.reset();
  s->session.reset();
}
