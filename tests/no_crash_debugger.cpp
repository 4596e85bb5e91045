// A test program that crashes ends at once and fails, instead of waiting in
// Wine's debugger until the test's time-out (and holding up the programs that
// share its Wine prefix). Wine does not look at the error mode for this, but
// it does honour the process's own last-chance filter.
#include <windows.h>

#include <cstdio>

namespace {
LONG WINAPI ReportAndEnd(EXCEPTION_POINTERS* info) {
  std::fprintf(stderr, "crashed: exception 0x%08lx at %p\n",
               static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
               info->ExceptionRecord->ExceptionAddress);
  std::fflush(stderr);
  return EXCEPTION_EXECUTE_HANDLER;
}

const bool kNoCrashDebugger = [] {
  ::SetUnhandledExceptionFilter(&ReportAndEnd);
  return true;
}();
}  // namespace
