// close_window.exe [/wait:<ms>] <title> | /hex:<title bytes in hex>
// Posts WM_CLOSE to the top-level window whose title is exactly <title> and
// waits (at most /wait ms, default 10000) until that window is gone.
// Wine decodes non-ASCII arguments with the Unix locale, which may not be
// the one the title was written in, so scripts pass GBK titles as /hex:.
// Exit codes: 0 closed, 1 no such window, 2 still there after the wait,
// 3 bad arguments.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "core/gbk_text.h"
#include "core/hex_text.h"
#include "system/seams.h"

namespace {

// "bbbb..." hex pairs (either case) to bytes; false on an odd length or a
// non-hex digit.
bool FromHex(const char* hex, std::string* out) {
  const std::string digits = gbk::ToLower(hex);
  std::string bytes(digits.size() / 2, '\0');
  auto* data = reinterpret_cast<unsigned char*>(&bytes[0]);
  if (bytes.empty() || !ParseLowerHex(digits, data, bytes.size())) return false;
  *out = bytes;
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  DWORD wait_ms = 10000;
  std::string title;
  for (int i = 1; i < __argc; ++i) {
    if (_strnicmp(__argv[i], "/wait:", 6) == 0) {
      wait_ms = strtoul(__argv[i] + 6, nullptr, 10);
    } else if (_strnicmp(__argv[i], "/hex:", 5) == 0) {
      if (!FromHex(__argv[i] + 5, &title)) return 3;
    } else {
      title = __argv[i];
    }
  }
  if (title.empty()) return 3;

  HWND hwnd = FindWindowA(nullptr, title.c_str());
  if (!hwnd) return 1;
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
  for (DWORD waited = 0; IsWindow(hwnd); waited += 100) {
    if (waited >= wait_ms) return 2;
    seams::SleepMs(100);
  }
  return 0;
}
