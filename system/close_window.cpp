#include "system/close_window.h"

#include "system/scoped_handle.h"

namespace {

constexpr DWORD kStopPollMs = 50;

DWORD WINAPI SendClose(void* window) {
  // Waits for the answer however long it takes; the waiter decides when to
  // stop waiting. A window hung already is not waited for at all.
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutA(static_cast<HWND>(window), WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, INFINITE,
                        &ignored);
  return 0;
}

}  // namespace

bool AskWindowToClose(HWND window, UINT hung_ms, const std::function<bool()>& stop_requested) {
  ScopedKernelHandle helper(::CreateThread(nullptr, 0, &SendClose, window, 0, nullptr));
  if (!helper) {
    // Without a helper the wait cannot watch the stop request; the hung
    // time-out bounds it instead.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, hung_ms, &ignored);
    return true;
  }
  // SMTO_NOTIMEOUTIFNOTHUNG would say the same in one call, but Wine lets its
  // time-out run out even for a window that answers; so the system's own
  // "not responding" test is asked here while the helper waits.
  DWORD hung_since = 0;
  bool hung = false;
  while (::WaitForSingleObject(helper.get(), kStopPollMs) == WAIT_TIMEOUT) {
    if (stop_requested && stop_requested()) return false;
    if (!::IsHungAppWindow(window)) {
      hung = false;
    } else if (!hung) {
      hung = true;
      hung_since = ::GetTickCount();
    } else if (::GetTickCount() - hung_since >= hung_ms) {
      return true;  // the helper finishes on its own once the client answers
    }
  }
  return true;
}
