// A small scripted HTTP/1.1 server for tests: Winsock on 127.0.0.1, an
// ephemeral port, one thread per connection, one request per connection.
// A test declares resources (served with ETag/Last-Modified and byte ranges),
// queued one-off answers, and faults; afterwards it reads what was asked.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct RecordedRequest {
  std::string requestLine;  // e.g. "GET /a HTTP/1.1"
  std::string method;
  std::string target;       // path and query as sent
  std::string range;        // value of Range, empty if absent
  std::string ifRange;
  std::string accept;
  std::string userAgent;
  std::string rawHeaders;   // everything after the request line
  std::string Header(const std::string& name) const;  // case-insensitive, empty if absent
};

struct ScriptedAnswer {
  std::string status = "200 OK";  // after "HTTP/1.1 "
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  bool contentLength = true;      // send Content-Length: body size
  bool chunked = false;           // send Transfer-Encoding: chunked (no Content-Length)
  bool lastChunk = true;          // chunked: false closes cleanly before the zero-size chunk
};

// A one-off misbehaviour applied to the next request of a path.
struct Fault {
  long closeAfterBodyBytes = -1;  // >= 0: send this many body bytes, then reset the connection
  DWORD stallMs = 0;              // wait this long before the body (the stop of the test server ends it)
  bool ignoreRange = false;       // answer a ranged request with 200 and the whole body
  std::string status;             // non-empty: answer with this status ("404 Not Found") and a small body
  long stallAfterBodyBytes = -1;  // >= 0: send this many bytes, then stall for stallMs
  bool stallBeforeHead = false;   // wait stallMs before sending anything at all
  size_t paceBytes = 0;           // > 0: a slow line, paceBytes every paceMs
  DWORD paceMs = 0;
  size_t burstBytes = 0;          // > 0: sent at once before the pacing (a rate-limited server's start)
  DWORD resetAfterMs = 0;         // closeAfterBodyBytes: wait this long first, so the bytes arrive
  // A line that slows in the middle of the body: after slowAfterBytes sent
  // as the fields above say (at full speed by default), slowBytes every slowMs.
  size_t slowAfterBytes = 0;
  size_t slowBytes = 0;
  DWORD slowMs = 0;
  // >= 0: the byte at this offset of the resource (of the body, for a queued
  // answer) goes out changed, when the answer holds it.
  long corruptAt = -1;
};

class ScriptedServer {
 public:
  ScriptedServer();
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  std::string BaseUrl() const;  // "http://127.0.0.1:<port>"

  // A resource: 200 with Content-Length (and ETag / Last-Modified when not
  // empty); a "Range: bytes=N-" request gets 206 when If-Range is absent or
  // matches, the whole body otherwise, 416 when N is past the end.
  void ServeResource(const std::string& path, const std::string& body,
                     const std::string& etag = "\"v1\"",
                     const std::string& lastModified = "Mon, 07 Dec 2026 04:00:00 GMT");
  // Ends a resource: its path answers like any unknown one again.
  void RemoveResource(const std::string& path);
  // Queues an answer for the path; queued answers are used before a resource.
  void QueueAnswer(const std::string& path, ScriptedAnswer answer);
  // Queues a fault for the next request of the path.
  void QueueFault(const std::string& path, Fault fault);
  // Answers every request the other rules do not cover (default 404).
  void SetFallback(std::function<ScriptedAnswer(const RecordedRequest&)> fn);

  std::vector<RecordedRequest> Requests() const;
  std::vector<RecordedRequest> RequestsFor(const std::string& path) const;  // path without query
  // Body bytes sent for the path so far (all connections).
  size_t BodyBytesSent(const std::string& path) const;

 private:
  struct Resource {
    std::string body, etag, lastModified;
  };
  void AcceptLoop();
  void Serve(SOCKET s);
  bool WaitStop(DWORD ms);

  SOCKET listen_ = INVALID_SOCKET;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  HANDLE stopEvent_ = nullptr;
  std::thread acceptThread_;
  mutable std::mutex mu_;
  std::vector<std::thread> workers_;
  std::vector<SOCKET> open_;
  std::map<std::string, Resource> resources_;
  std::map<std::string, std::deque<ScriptedAnswer>> answers_;
  std::map<std::string, std::deque<Fault>> faults_;
  std::map<std::string, size_t> bodyBytes_;
  std::function<ScriptedAnswer(const RecordedRequest&)> fallback_;
  std::vector<RecordedRequest> requests_;
};
