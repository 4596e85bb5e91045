// close_window.exe [/wait:<ms>] <title>
// Posts WM_CLOSE to the top-level window whose title is exactly <title> and
// waits (at most /wait ms, default 10000) until that window is gone.
// Exit codes: 0 closed, 1 no such window, 2 still there after the wait,
// 3 bad arguments.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  DWORD wait_ms = 10000;
  const char* title = nullptr;
  for (int i = 1; i < __argc; ++i) {
    if (_strnicmp(__argv[i], "/wait:", 6) == 0) {
      wait_ms = strtoul(__argv[i] + 6, nullptr, 10);
    } else {
      title = __argv[i];
    }
  }
  if (!title || !*title) return 3;

  HWND hwnd = FindWindowA(nullptr, title);
  if (!hwnd) return 1;
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
  for (DWORD waited = 0; IsWindow(hwnd); waited += 100) {
    if (waited >= wait_ms) return 2;
    Sleep(100);
  }
  return 0;
}
