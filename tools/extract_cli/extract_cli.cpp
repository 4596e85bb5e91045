// extract_cli <install folder> <package name>
// Extracts <install folder>\<package name> the way the installer does, with a
// message-only window receiving the progress (so the pauses are real), then
// prints the result, the progress values and the process's peak memory.
// Exit 0 when the extraction succeeded, 1 when it failed, 2 on usage errors.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "system/setup_messages.h"
#include "package/extract_package.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: extract_cli <install folder> <package name>\n");
    return 2;
  }
  HWND window = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr);
  std::string message;
  const bool failed = ExtractPackage(window, argv[2], argv[1], &message);
  std::string progress;
  MSG msg;
  while (::PeekMessageA(&msg, window, WM_SETUP_PROGRESS, WM_SETUP_PROGRESS, PM_REMOVE)) {
    progress += std::to_string(static_cast<int>(msg.lParam)) + " ";
  }
  std::printf("progress: %s\n", progress.c_str());
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) {
    std::printf("peak_working_set_bytes: %llu\n",
                static_cast<unsigned long long>(counters.PeakWorkingSetSize));
    std::printf("peak_pagefile_bytes: %llu\n",
                static_cast<unsigned long long>(counters.PeakPagefileUsage));
  }
  if (failed) std::printf("message: %s\n", message.c_str());
  std::printf("result: %s\n", failed ? "failed" : "ok");
  if (window) ::DestroyWindow(window);
  return failed ? 1 : 0;
}
