#include "ui/window_map.h"

#include <memory>

#include "ui/win32_dialog.h"

namespace {
std::unique_ptr<std::map<HWND, Win32Dialog*>> g_map;
}

std::map<HWND, Win32Dialog*>& WindowMap() {
  if (!g_map) g_map = std::make_unique<std::map<HWND, Win32Dialog*>>();
  return *g_map;
}

void DestroyWindowMap() { g_map.reset(); }

LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (g_map) {
    auto it = g_map->find(hwnd);
    if (it != g_map->end() && it->second) return it->second->WindowProc(msg, wp, lp);
  }
  // Before the handle is registered (inside CreateWindowExA) or after removal.
  switch (msg) {
    case WM_CREATE:
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      ::BeginPaint(hwnd, &ps);
      ::EndPaint(hwnd, &ps);
      return 0;
    }
    default:
      return ::DefWindowProcA(hwnd, msg, wp, lp);
  }
}
