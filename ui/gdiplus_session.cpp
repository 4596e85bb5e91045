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

State& GetState() {
  static State state;  // constructed once, thread-safe
  return state;
}

class Lock {
 public:
  explicit Lock(CRITICAL_SECTION* cs) : cs_(cs) { ::EnterCriticalSection(cs_); }
  ~Lock() { ::LeaveCriticalSection(cs_); }

 private:
  CRITICAL_SECTION* cs_;
};

}  // namespace

void AddObject() {
  State& s = GetState();
  Lock lock(&s.lock);
  ++s.objects;
}

void RemoveObject() {
  State& s = GetState();
  Lock lock(&s.lock);
  if (s.objects > 0) --s.objects;
  if (s.objects == 0 && s.started) {
    Gdiplus::GdiplusShutdown(s.token);
    s.started = false;
    s.token = 0;
  }
}

bool EnsureStarted() {
  State& s = GetState();
  Lock lock(&s.lock);
  if (s.started) return true;
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&s.token, &input, nullptr) != Gdiplus::Ok) return false;
  s.started = true;
  return true;
}

bool IsStarted() {
  State& s = GetState();
  Lock lock(&s.lock);
  return s.started;
}

int ObjectCount() {
  State& s = GetState();
  Lock lock(&s.lock);
  return s.objects;
}

}  // namespace gdiplus_session
