#include "message_recorder.h"

#include "system/setup_messages.h"

namespace {
const char kClass[] = "OnlineSetupTestRecorder";
}

MessageRecorder::MessageRecorder() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &MessageRecorder::Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);  // a second registration fails harmlessly
  hwnd_ = CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageRecorder::~MessageRecorder() {
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
  }
}

LRESULT CALLBACK MessageRecorder::Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<MessageRecorder*>(GetWindowLongPtrA(h, GWLP_USERDATA));
  if (self && (msg == WM_SETUP_PROGRESS || msg == WM_SETUP_STATE || msg == WM_SETUP_SPEED ||
               msg == WM_COMMAND)) {
    PostedMessage pm{msg, w, l};
    self->messages_.push_back(pm);
    if (self->onMessage) self->onMessage(pm);
    return 0;
  }
  return DefWindowProcA(h, msg, w, l);
}

void MessageRecorder::Pump() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

bool MessageRecorder::PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    Pump();
    if (done()) return true;
    if (GetTickCount() - start > timeout_ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

bool MessageRecorder::PumpUntilSignalled(HANDLE h, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    Pump();
    DWORD left = GetTickCount() - start;
    if (left > timeout_ms) return false;
    DWORD r = MsgWaitForMultipleObjects(1, &h, FALSE, timeout_ms - left, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) {
      Pump();
      return true;
    }
    if (r == WAIT_TIMEOUT) return false;
  }
}

std::vector<int> MessageRecorder::Values(UINT msg) const {
  std::vector<int> out;
  for (const PostedMessage& m : messages_)
    if (m.msg == msg) out.push_back(static_cast<int>(m.lParam));
  return out;
}
std::vector<int> MessageRecorder::Progress() const { return Values(WM_SETUP_PROGRESS); }
std::vector<int> MessageRecorder::States() const { return Values(WM_SETUP_STATE); }
std::vector<int> MessageRecorder::Speeds() const { return Values(WM_SETUP_SPEED); }
