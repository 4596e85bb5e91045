// A running client asked to close: it may take its time over "really quit?",
// and only the stop request or a hung client ends the wait early.
#include "system/close_window.h"

#include <gtest/gtest.h>

#include <atomic>

#include "system/scoped_handle.h"

namespace {

// A client window on its own thread whose WM_CLOSE keeps answering other
// messages (as under a confirmation box) for `answerMs` before it closes.
class SlowClient {
 public:
  explicit SlowClient(DWORD answer_ms) : answerMs_(answer_ms) {
    ready_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    thread_.reset(::CreateThread(nullptr, 0, &Run, this, 0, nullptr));
    ::WaitForSingleObject(ready_.get(), 5000);
  }
  ~SlowClient() { ::WaitForSingleObject(thread_.get(), 10000); }
  HWND window() const { return window_; }
  bool closed() const { return closed_; }

 private:
  static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<SlowClient*>(::GetWindowLongPtrA(w, GWLP_USERDATA));
    if (msg == WM_CLOSE && self) {
      const DWORD start = ::GetTickCount();
      while (::GetTickCount() - start < self->answerMs_) {
        MSG m;
        while (::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&m);
        ::Sleep(10);
      }
      self->closed_ = true;
      ::DestroyWindow(w);
      return 0;
    }
    if (msg == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcA(w, msg, wp, lp);
  }
  static DWORD WINAPI Run(void* p) {
    auto* self = static_cast<SlowClient*>(p);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "SlowHallClient";
    ::RegisterClassA(&wc);
    self->window_ = ::CreateWindowExA(0, "SlowHallClient", "client", WS_OVERLAPPED, 0, 0, 10, 10,
                                      nullptr, nullptr, wc.hInstance, nullptr);
    ::SetWindowLongPtrA(self->window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    ::SetEvent(self->ready_.get());
    MSG m;
    while (::GetMessageA(&m, nullptr, 0, 0) > 0) ::DispatchMessageA(&m);
    return 0;
  }

  DWORD answerMs_;
  HWND window_ = nullptr;
  std::atomic<bool> closed_{false};
  ScopedKernelHandle ready_, thread_;
};

}  // namespace

TEST(AskWindowToClose, WaitsForAnAnsweringClientUntilItClosesOrTheStop) {
  const struct {
    DWORD answerMs;
    DWORD stopAfterMs;  // 0: never
    bool answered;
    DWORD minMs, maxMs;
  } cases[] = {
      // Far beyond the hung time-out, but the client keeps answering.
      {800, 0, true, 600, 8000},
      // The stop request ends the wait while the client still asks.
      {2000, 200, false, 150, 1200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answerMs);
    SlowClient client(c.answerMs);
    ASSERT_TRUE(client.window());
    const DWORD start = ::GetTickCount();
    const bool answered = AskWindowToClose(client.window(), 100, [&] {
      return c.stopAfterMs && ::GetTickCount() - start >= c.stopAfterMs;
    });
    const DWORD took = ::GetTickCount() - start;
    EXPECT_EQ(c.answered, answered);
    EXPECT_EQ(c.answered, client.closed());
    EXPECT_GE(took, c.minMs);
    EXPECT_LE(took, c.maxMs);
  }
}
