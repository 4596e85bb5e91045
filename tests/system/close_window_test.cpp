// A running client asked to close: it may take its time over "really quit?",
// and only the stop request or a hung client ends the wait early.
#include "system/close_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "system/run_with_deadline.h"
#include "system/scoped_handle.h"

namespace {

DWORD g_answer_ms = 0;        // how long WM_CLOSE keeps answering other messages
std::atomic<bool> g_closed{false};

LRESULT CALLBACK SlowClientProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) {  // as under a confirmation box: still answering
    for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < g_answer_ms; ::Sleep(10)) {
      MSG m;
      while (::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&m);
    }
    g_closed = true;
    ::DestroyWindow(w);
    return 0;
  }
  if (msg == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcA(w, msg, wp, lp);
}

}  // namespace

TEST(AskWindowToClose, WaitsForAnAnsweringClientUntilItClosesOrTheStop) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &SlowClientProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "SlowHallClient";
  ::RegisterClassA(&wc);
  const struct {
    DWORD answerMs, stopAfterMs;  // stop 0: never
    bool answered;
    DWORD minMs, maxMs;
  } cases[] = {
      {800, 0, true, 600, 8000},       // far beyond the hung time-out, still answering
      {2000, 200, false, 150, 1200},   // the stop ends the wait while the client asks
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answerMs);
    g_answer_ms = c.answerMs;
    g_closed = false;
    std::atomic<HWND> window{nullptr};
    std::thread client([&] {
      window = ::CreateWindowExA(0, "SlowHallClient", "client", WS_OVERLAPPED, 0, 0, 10, 10,
                                 nullptr, nullptr, wc.hInstance, nullptr);
      MSG m;
      while (::GetMessageA(&m, nullptr, 0, 0) > 0) ::DispatchMessageA(&m);
    });
    while (!window) ::Sleep(5);
    const DWORD start = ::GetTickCount();
    const bool answered = AskWindowToClose(window, 100, [&] {
      return c.stopAfterMs && ::GetTickCount() - start >= c.stopAfterMs;
    });
    const DWORD took = ::GetTickCount() - start;
    EXPECT_EQ(c.answered, answered);
    EXPECT_EQ(c.answered, g_closed.load());
    EXPECT_GE(took, c.minMs);
    EXPECT_LE(took, c.maxMs);
    client.join();
  }
}

// The helper under both waits: the work either returns while waited for, or
// is left when the caller says so, and then still finishes on its own with
// what it shares.
TEST(RunWithDeadline, FinishesOrIsLeftAndStillEndsAlone) {
  for (const bool leave : {false, true}) {
    auto release = std::make_shared<ScopedKernelHandle>(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    auto done = std::make_shared<std::atomic<bool>>(false);
    if (!leave) ::SetEvent(release->get());
    int polls = 0;
    const DeadlineWait wait = RunWithDeadline(
        [release, done] {
          ::WaitForSingleObject(release->get(), INFINITE);
          *done = true;
        },
        10, [&](DWORD) { return ++polls < 3; });
    EXPECT_EQ(wait, leave ? DeadlineWait::kLeft : DeadlineWait::kFinished) << leave;
    EXPECT_EQ(done->load(), !leave) << leave;
    ::SetEvent(release->get());
    for (int i = 0; i < 200 && !*done; ++i) ::Sleep(5);
    EXPECT_TRUE(*done) << leave;
  }
}
