// Test helper: records the lines the code under test writes with
// OutputDebugStringA. The call raises DBG_PRINTEXCEPTION_C for a debugger;
// a vectored handler sees it first and lets it go on unchanged.
#pragma once

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#ifndef DBG_PRINTEXCEPTION_C
#define DBG_PRINTEXCEPTION_C 0x40010006L
#endif

class ScopedDebugTraceRecorder {
 public:
  ScopedDebugTraceRecorder() {
    std::lock_guard<std::mutex> lock(Mutex());
    Lines().clear();
    handler_ = ::AddVectoredExceptionHandler(1, &Handler);
  }
  ~ScopedDebugTraceRecorder() {
    if (handler_) ::RemoveVectoredExceptionHandler(handler_);
  }
  ScopedDebugTraceRecorder(const ScopedDebugTraceRecorder&) = delete;
  ScopedDebugTraceRecorder& operator=(const ScopedDebugTraceRecorder&) = delete;

  // False when this platform's OutputDebugStringA does not raise the exception.
  bool Works() const {
    ::OutputDebugStringA("trace-recorder-probe");
    std::lock_guard<std::mutex> lock(Mutex());
    auto& lines = Lines();
    auto it = std::find(lines.begin(), lines.end(), "trace-recorder-probe");
    if (it == lines.end()) return false;
    lines.erase(it);
    return true;
  }
  std::vector<std::string> Taken() {
    std::lock_guard<std::mutex> lock(Mutex());
    std::vector<std::string> out;
    out.swap(Lines());
    return out;
  }
  // The recorded lines that start with `prefix`, in order; they stay recorded.
  std::vector<std::string> StartingWith(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(Mutex());
    std::vector<std::string> out;
    for (const std::string& line : Lines()) {
      if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
    }
    return out;
  }

 private:
  static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == static_cast<DWORD>(DBG_PRINTEXCEPTION_C) &&
        record->NumberParameters >= 2 && record->ExceptionInformation[1]) {
      const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
      std::lock_guard<std::mutex> lock(Mutex());
      Lines().emplace_back(text);
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }
  static std::mutex& Mutex() {
    static std::mutex m;
    return m;
  }
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
  PVOID handler_ = nullptr;
};
