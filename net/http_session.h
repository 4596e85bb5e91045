// The controller's long-lived WinINet session for small text requests (the
// statistics requests). Their answers are not needed, so a fetch never holds
// the calling (window) thread for more than a few seconds: the request runs
// on a helper thread that is waited for a bounded time, and at most a small
// part of the answer is read.
#pragma once

#include <memory>
#include <vector>

#include "net/scoped_internet.h"

struct HttpSession {
  // Opened with the controller; empty if that failed. Shared with helper
  // threads still running, so it is closed only after the last of them ends.
  std::shared_ptr<ScopedInternetHandle> session;
  ScopedInternetHandle request;  // the most recent fetch's request, open until the next one
  std::vector<char> text;        // body of the most recent successful fetch, NUL-terminated
  long lastError = 0;            // -1: no URL; GetLastError of a failed request open
};

// Opens the session: agent "Marlowen HTTP Retriever 1.0", direct access, no
// proxy, connect/send/receive time-outs of a few seconds. A failure leaves
// the session empty; later fetches then fail.
void OpenHttpSession(HttpSession* s);

// GETs `url` over the session (flags 9, no extra headers) and returns the body
// (at most the first 64 KiB) as NUL-terminated text owned by the session,
// valid until the next fetch or teardown; nullptr on failure, and when no
// answer came within the wait (lastError ERROR_INTERNET_TIMEOUT; the helper
// thread then closes its request itself). The status code is not examined.
const char* FetchUrlText(HttpSession* s, const char* url);

// A direct session with the agent above whose connect, send and receive
// time-outs are `timeout_ms`; empty when it does not open.
ScopedInternetHandle OpenDirectSession(DWORD timeout_ms);

// Frees the text and closes the request and (once no helper uses it) the session.
void CloseHttpSession(HttpSession* s);

// The longest a fetch waits for its helper thread; 0 restores the default.
void SetFetchWaitForTesting(DWORD ms);
