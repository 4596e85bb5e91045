// Runs a blocking call on a helper thread and waits for it no longer than
// the caller allows. Used where the platform may block past every time-out
// (WinINet under Wine; a window that takes its time to close): the caller
// decides when to stop waiting, and the helper finishes on its own. The
// work must own (or share) everything it touches, since it may outlive the
// caller's frame.
#pragma once

#include <windows.h>

#include <functional>

enum class DeadlineWait {
  kFinished,  // the work returned
  kLeft,      // the caller stopped waiting; the work goes on alone
  kNoThread,  // no helper could be made: nothing ran
};

// Starts `work` and waits for it; every `poll_ms` (and not before the first
// poll) `keep_waiting(elapsed_ms)` says whether to wait on.
DeadlineWait RunWithDeadline(std::function<void()> work, DWORD poll_ms,
                             const std::function<bool(DWORD elapsed_ms)>& keep_waiting);
