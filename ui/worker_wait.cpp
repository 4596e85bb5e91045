#include "ui/worker_wait.h"

bool WaitForWorkerToEnd(HANDLE thread, HANDLE finished, DWORD ms) {
  if (!thread || ::WaitForSingleObject(thread, 0) != WAIT_TIMEOUT) return true;
  HANDLE waits[2] = {thread, finished};
  const DWORD count = finished ? 2 : 1;
  const DWORD r = ::WaitForMultipleObjects(count, waits, FALSE, ms);
  if (r == WAIT_OBJECT_0) return true;
  if (r == WAIT_OBJECT_0 + 1) {
    // The finished event is the worker's last word about the controller;
    // give the thread a moment to leave its procedure.
    ::WaitForSingleObject(thread, 1000);
    return true;
  }
  return false;
}
