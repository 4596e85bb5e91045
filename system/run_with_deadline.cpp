#include "system/run_with_deadline.h"

#include <memory>

#include "system/scoped_handle.h"

namespace {

DWORD WINAPI RunWork(LPVOID param) {
  std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(param));
  (*work)();
  return 0;
}

}  // namespace

DeadlineWait RunWithDeadline(std::function<void()> work, DWORD poll_ms,
                             const std::function<bool(DWORD elapsed_ms)>& keep_waiting) {
  auto* param = new std::function<void()>(std::move(work));
  ScopedKernelHandle thread(::CreateThread(nullptr, 0, &RunWork, param, 0, nullptr));
  if (!thread) {
    delete param;
    return DeadlineWait::kNoThread;
  }
  const DWORD start = ::GetTickCount();
  while (::WaitForSingleObject(thread.get(), poll_ms) == WAIT_TIMEOUT) {
    if (!keep_waiting(::GetTickCount() - start)) return DeadlineWait::kLeft;
  }
  return DeadlineWait::kFinished;
}
