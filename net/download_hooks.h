// Test hooks of the file download: what opens the WinINet session (so a
// failing open can be simulated) and the connection time-outs (so a dead
// connection can be shown ending in a test's time).
#pragma once

#include <windows.h>
#include <wininet.h>

namespace download_hooks {

using InternetOpenFn = HINTERNET(WINAPI*)(LPCSTR agent, DWORD access, LPCSTR proxy,
                                          LPCSTR bypass, DWORD flags);
// Replaces InternetOpenA for later downloads; returns the previous function.
// nullptr restores the real one.
InternetOpenFn SetInternetOpenForTesting(InternetOpenFn fn);

// Connect and receive time-outs of later download sessions; 0 restores the
// defaults (30 s to connect, 60 s without data).
void SetTimeoutsForTesting(DWORD connect_ms, DWORD receive_ms);

}  // namespace download_hooks
