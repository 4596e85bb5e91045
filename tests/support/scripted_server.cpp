#include "scripted_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string PathOnly(const std::string& target) {
  size_t q = target.find('?');
  return q == std::string::npos ? target : target.substr(0, q);
}

bool SendAll(SOCKET s, const char* data, size_t n) {
  while (n > 0) {
    int chunk = static_cast<int>(std::min<size_t>(n, 65536));
    int sent = send(s, data, chunk, 0);
    if (sent <= 0) return false;
    data += sent;
    n -= static_cast<size_t>(sent);
  }
  return true;
}

void ResetClose(SOCKET s) {
  linger l = {1, 0};  // RST instead of FIN: the client sees a broken transfer
  setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  closesocket(s);
}

struct WinsockInit {
  WinsockInit() {
    WSADATA d;
    WSAStartup(MAKEWORD(2, 2), &d);
  }
};

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
  std::string want = Lower(name) + ":";
  size_t pos = 0;
  while (pos < rawHeaders.size()) {
    size_t end = rawHeaders.find("\r\n", pos);
    if (end == std::string::npos) end = rawHeaders.size();
    std::string line = rawHeaders.substr(pos, end - pos);
    if (Lower(line.substr(0, want.size())) == want) {
      std::string v = line.substr(want.size());
      size_t b = v.find_first_not_of(" \t");
      return b == std::string::npos ? std::string() : v.substr(b);
    }
    pos = end + 2;
  }
  return std::string();
}

ScriptedServer::ScriptedServer() {
  static WinsockInit init;
  stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(listen_, 64);
  int len = sizeof addr;
  getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  stopping_ = true;
  SetEvent(stopEvent_);
  closesocket(listen_);
  if (acceptThread_.joinable()) acceptThread_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (SOCKET s : open_) shutdown(s, SD_BOTH);
    workers.swap(workers_);
  }
  for (std::thread& t : workers)
    if (t.joinable()) t.join();
  CloseHandle(stopEvent_);
}

std::string ScriptedServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

void ScriptedServer::RemoveResource(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  resources_.erase(path);
}

void ScriptedServer::ServeResource(const std::string& path, const std::string& body,
                                   const std::string& etag, const std::string& lastModified) {
  std::lock_guard<std::mutex> lock(mu_);
  resources_[path] = Resource{body, etag, lastModified};
}

void ScriptedServer::QueueAnswer(const std::string& path, ScriptedAnswer answer) {
  std::lock_guard<std::mutex> lock(mu_);
  answers_[path].push_back(std::move(answer));
}

void ScriptedServer::QueueFault(const std::string& path, Fault fault) {
  std::lock_guard<std::mutex> lock(mu_);
  faults_[path].push_back(std::move(fault));
}

void ScriptedServer::SetFallback(std::function<ScriptedAnswer(const RecordedRequest&)> fn) {
  std::lock_guard<std::mutex> lock(mu_);
  fallback_ = std::move(fn);
}

std::vector<RecordedRequest> ScriptedServer::Requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

std::vector<RecordedRequest> ScriptedServer::RequestsFor(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<RecordedRequest> out;
  for (const RecordedRequest& r : requests_)
    if (PathOnly(r.target) == path) out.push_back(r);
  return out;
}

size_t ScriptedServer::BodyBytesSent(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = bodyBytes_.find(path);
  return it == bodyBytes_.end() ? 0 : it->second;
}

bool ScriptedServer::WaitStop(DWORD ms) {
  return WaitForSingleObject(stopEvent_, ms) == WAIT_OBJECT_0;
}

void ScriptedServer::AcceptLoop() {
  for (;;) {
    SOCKET s = accept(listen_, nullptr, nullptr);
    if (s == INVALID_SOCKET) return;
    std::lock_guard<std::mutex> lock(mu_);
    if (stopping_) {
      closesocket(s);
      return;
    }
    open_.push_back(s);
    workers_.emplace_back([this, s] { Serve(s); });
  }
}

void ScriptedServer::Serve(SOCKET s) {
  auto forget = [this, s] {
    std::lock_guard<std::mutex> lock(mu_);
    open_.erase(std::remove(open_.begin(), open_.end(), s), open_.end());
  };
  std::string in;
  char buf[4096];
  while (in.find("\r\n\r\n") == std::string::npos) {
    int n = recv(s, buf, sizeof buf, 0);
    if (n <= 0) {
      forget();
      closesocket(s);
      return;
    }
    in.append(buf, static_cast<size_t>(n));
  }
  RecordedRequest req;
  size_t line_end = in.find("\r\n");
  req.requestLine = in.substr(0, line_end);
  req.rawHeaders = in.substr(line_end + 2, in.find("\r\n\r\n") - line_end - 2 + 2);
  size_t sp1 = req.requestLine.find(' ');
  size_t sp2 = req.requestLine.find(' ', sp1 + 1);
  req.method = req.requestLine.substr(0, sp1);
  req.target = req.requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
  req.range = req.Header("Range");
  req.ifRange = req.Header("If-Range");
  req.accept = req.Header("Accept");
  req.userAgent = req.Header("User-Agent");
  const std::string path = PathOnly(req.target);

  ScriptedAnswer answer;
  size_t origin = 0;  // the resource offset of the answer's first body byte
  Fault fault;
  bool have_fault = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    requests_.push_back(req);
    auto f = faults_.find(path);
    if (f != faults_.end() && !f->second.empty()) {
      fault = f->second.front();
      f->second.pop_front();
      have_fault = true;
    }
    auto q = answers_.find(path);
    auto r = resources_.find(path);
    if (have_fault && !fault.status.empty()) {
      answer.status = fault.status;
      answer.body = "<html><body>" + fault.status + "</body></html>";
    } else if (q != answers_.end() && !q->second.empty()) {
      answer = q->second.front();
      q->second.pop_front();
    } else if (r != resources_.end()) {
      const Resource& res = r->second;
      if (!res.etag.empty()) answer.headers.push_back({"ETag", res.etag});
      if (!res.lastModified.empty()) answer.headers.push_back({"Last-Modified", res.lastModified});
      answer.headers.push_back({"Accept-Ranges", "bytes"});
      answer.body = res.body;
      std::string range = req.range;
      bool ranged = Lower(range).rfind("bytes=", 0) == 0 && !(have_fault && fault.ignoreRange);
      bool validator_ok = req.ifRange.empty() || req.ifRange == res.etag ||
                          req.ifRange == res.lastModified;
      if (ranged && validator_ok) {
        size_t from = static_cast<size_t>(std::strtoul(range.c_str() + 6, nullptr, 10));
        if (from >= res.body.size()) {
          answer.status = "416 Range Not Satisfiable";
          answer.body.clear();
          answer.headers.push_back({"Content-Range", "bytes */" + std::to_string(res.body.size())});
        } else {
          answer.status = "206 Partial Content";
          answer.headers.push_back(
              {"Content-Range", "bytes " + std::to_string(from) + "-" +
                                    std::to_string(res.body.size() - 1) + "/" +
                                    std::to_string(res.body.size())});
          answer.body = res.body.substr(from);
          origin = from;
        }
      }
    } else if (fallback_) {
      answer = fallback_(req);
    } else {
      answer.status = "404 Not Found";
      answer.body = "<html><body>404 Not Found</body></html>";
    }
  }

  if (have_fault && fault.corruptAt >= 0 && static_cast<size_t>(fault.corruptAt) >= origin &&
      static_cast<size_t>(fault.corruptAt) - origin < answer.body.size())
    answer.body[static_cast<size_t>(fault.corruptAt) - origin] ^= 0x5A;
  if (answer.chunked) {
    // Chunks of 4 KiB; faults then count the encoded bytes.
    std::string encoded;
    char size[16];
    for (size_t at = 0; at < answer.body.size(); at += 4096) {
      const size_t n = std::min<size_t>(4096, answer.body.size() - at);
      std::snprintf(size, sizeof size, "%lx\r\n", static_cast<unsigned long>(n));
      encoded += size + answer.body.substr(at, n) + "\r\n";
    }
    if (answer.lastChunk) encoded += "0\r\n\r\n";
    answer.body = encoded;
    answer.contentLength = false;
    answer.headers.push_back({"Transfer-Encoding", "chunked"});
  }
  std::string head = "HTTP/1.1 " + answer.status + "\r\n";
  for (const auto& h : answer.headers) head += h.first + ": " + h.second + "\r\n";
  if (answer.contentLength) head += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
  head += "Connection: close\r\n\r\n";
  bool ok = true;
  if (have_fault && fault.stallBeforeHead && WaitStop(fault.stallMs)) ok = false;
  if (ok) ok = SendAll(s, head.data(), head.size());
  if (ok && have_fault && fault.stallMs > 0 && fault.stallAfterBodyBytes < 0 &&
      !fault.stallBeforeHead) {
    if (WaitStop(fault.stallMs)) ok = false;
  }
  size_t limit = answer.body.size();
  bool reset = false;
  if (have_fault && fault.closeAfterBodyBytes >= 0 &&
      static_cast<size_t>(fault.closeAfterBodyBytes) < limit) {
    limit = static_cast<size_t>(fault.closeAfterBodyBytes);
    reset = true;
  }
  size_t first = limit;
  if (have_fault && fault.stallAfterBodyBytes >= 0 &&
      static_cast<size_t>(fault.stallAfterBodyBytes) < limit)
    first = static_cast<size_t>(fault.stallAfterBodyBytes);
  const size_t piece = have_fault && fault.paceBytes > 0 ? fault.paceBytes : first;
  const bool slows = have_fault && fault.slowBytes > 0;
  for (size_t sent = 0; ok && sent < first;) {
    const bool slow = slows && sent >= fault.slowAfterBytes;
    size_t n = slow ? fault.slowBytes : sent == 0 && fault.burstBytes > 0 ? fault.burstBytes : piece;
    if (slows && !slow) n = std::min(n, fault.slowAfterBytes - sent);
    n = std::min(n, first - sent);
    ok = SendAll(s, answer.body.data() + sent, n);
    if (ok) {
      std::lock_guard<std::mutex> lock(mu_);
      bodyBytes_[path] += n;
    }
    sent += n;
    const DWORD pause = slow ? fault.slowMs : piece < first ? fault.paceMs : 0;
    if (ok && sent < first && pause > 0 && WaitStop(pause)) ok = false;
  }
  if (ok && first < limit) {
    if (WaitStop(fault.stallMs)) ok = false;
    if (ok) ok = SendAll(s, answer.body.data() + first, limit - first);
    if (ok) {
      std::lock_guard<std::mutex> lock(mu_);
      bodyBytes_[path] += limit - first;
    }
  }
  if (ok && reset && fault.resetAfterMs > 0 && WaitStop(fault.resetAfterMs)) ok = false;
  forget();
  if (reset || !ok) {
    ResetClose(s);
  } else {
    shutdown(s, SD_SEND);
    // Drain until the client closes so the last bytes are not lost to a reset.
    DWORD timeout = 2000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    while (recv(s, buf, sizeof buf, 0) > 0) {
    }
    closesocket(s);
  }
}
