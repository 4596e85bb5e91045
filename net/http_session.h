// The controller's long-lived WinINet session for small text requests (the
// statistics requests). FetchUrlText keeps the whole answer in memory.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "net/scoped_internet.h"

struct HttpSession {
  ScopedInternetHandle session;  // opened with the controller; invalid if that failed
  ScopedInternetHandle request;  // the most recent fetch's request, open until the next one
  std::vector<char> text;        // body of the most recent successful fetch, NUL-terminated
  long lastError = 0;            // -1: no URL; GetLastError of a failed request open
};

// Opens the session: agent "Marlowen HTTP Retriever 1.0", direct access, no proxy.
// A failure leaves the session invalid; later fetches then fail.
void OpenHttpSession(HttpSession* s);

// GETs `url` over the session (flags 9, no extra headers) and returns the whole
// body as NUL-terminated text owned by the session, valid until the next fetch
// or teardown; nullptr on failure. The status code is not examined.
const char* FetchUrlText(HttpSession* s, const char* url);

// Frees the text and closes the request and the session.
void CloseHttpSession(HttpSession* s);
