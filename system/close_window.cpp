#include "system/close_window.h"

#include "system/run_with_deadline.h"

constexpr DWORD kStopPollMs = 50;

bool AskWindowToClose(HWND window, UINT hung_ms, const std::function<bool()>& stop_requested) {
  // The send waits for the answer however long it takes; the waiter decides
  // when to stop waiting. A window hung already is not waited for at all.
  auto send_close = [window] {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, INFINITE, &ignored);
  };
  // SMTO_NOTIMEOUTIFNOTHUNG would say the same in one call, but Wine lets its
  // time-out run out even for a window that answers; so the system's own
  // "not responding" test is asked here while the helper waits.
  DWORD hung_since = 0;
  bool hung = false;
  bool stopped = false;
  auto keep_waiting = [&](DWORD) {
    if (stop_requested && stop_requested()) {
      stopped = true;
      return false;
    }
    if (!::IsHungAppWindow(window)) {
      hung = false;
    } else if (!hung) {
      hung = true;
      hung_since = ::GetTickCount();
    } else if (::GetTickCount() - hung_since >= hung_ms) {
      return false;  // the helper finishes on its own once the client answers
    }
    return true;
  };
  if (RunWithDeadline(send_close, kStopPollMs, keep_waiting) == DeadlineWait::kNoThread) {
    // Without a helper the wait cannot watch the stop request; the hung
    // time-out bounds it instead.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, hung_ms, &ignored);
    return true;
  }
  return !stopped;
}
