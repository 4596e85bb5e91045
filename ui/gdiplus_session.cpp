#include "ui/gdiplus_session.h"

#include <windows.h>

#include <objidl.h>
#include <propidl.h>

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

namespace gdiplus_session {
namespace {

struct State {
  State() { ::InitializeCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  ULONG_PTR token = 0;
  bool started = false;
  int objects = 0;
};

// The one state, held locked while an object of this class lives.
class LockedState {
 public:
  LockedState() : s_(Instance()) { ::EnterCriticalSection(&s_.lock); }
  ~LockedState() { ::LeaveCriticalSection(&s_.lock); }
  State* operator->() const { return &s_; }

 private:
  static State& Instance() {
    static State state;  // constructed once, thread-safe
    return state;
  }
  State& s_;
};

}  // namespace

void AddObject() {
  LockedState s;
  ++s->objects;
}

void RemoveObject() {
  LockedState s;
  if (s->objects > 0) --s->objects;
  if (s->objects == 0 && s->started) {
    Gdiplus::GdiplusShutdown(s->token);
    s->started = false;
    s->token = 0;
  }
}

bool EnsureStarted() {
  LockedState s;
  if (s->started) return true;
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&s->token, &input, nullptr) != Gdiplus::Ok) return false;
  s->started = true;
  return true;
}

bool IsStarted() {
  LockedState s;
  return s->started;
}

int ObjectCount() {
  LockedState s;
  return s->objects;
}

}  // namespace gdiplus_session
