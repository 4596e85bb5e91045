// Asking another program's window to close, as a user would, and waiting for
// its answer: a client may ask "really quit?" and take its time.
#pragma once

#include <windows.h>

#include <functional>

// Sends WM_CLOSE to `window` and waits as long as its thread keeps answering
// messages; gives up when the system has reported it hung ("not
// responding") for `hung_ms`. Checks
// `stop_requested` every few milliseconds and returns false at once when it
// says true (the send then finishes on its own helper thread). True when the
// window has answered or given up as hung.
bool AskWindowToClose(HWND window, UINT hung_ms, const std::function<bool()>& stop_requested);
