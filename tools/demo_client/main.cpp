// Demo hall client: one window whose title is the product title, so that the
// installer (and the uninstaller) can find it with FindWindowA and close it
// with WM_CLOSE. It logs its start and its close to client.log next to itself,
// which lets scripts see that the installer started it and later closed it.
#include <windows.h>

#include <stdio.h>

#include <string>

#include "system/profile_file.h"

#ifndef DEMO_CLIENT_EDITION
#define DEMO_CLIENT_EDITION "standard"
#endif

namespace {

// The product title the demo agency text ("欢乐棋牌") produces. A publisher
// with another product name puts its title into Config\client.ini instead.
const char kDefaultTitle[] = "欢乐棋牌游戏大厅";
const char kClassName[] = "DemoHallClientWindow";

std::string ReadTitle(const std::string& dir) {
  const std::string title = ProfileFile(dir + "Config\\client.ini", MAX_PATH)
                                .ReadString("client", "title", kDefaultTitle);
  return title.empty() ? kDefaultTitle : title;
}

void AppendLog(const std::string& dir, const char* event) {
  std::string path = dir + "client.log";
  FILE* f = fopen(path.c_str(), "ab");
  if (!f) return;  // a read-only install folder only loses the log
  char cwd[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, cwd);
  fprintf(f, "%s edition=%s cwd=%s\r\n", event, DEMO_CLIENT_EDITION, cwd);
  fclose(f);
}

std::string g_dir;
std::string g_title;

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT rc;
      GetClientRect(hwnd, &rc);
      std::string text = g_title + "\n(" DEMO_CLIENT_EDITION " edition)";
      DrawTextA(dc, text.c_str(), -1, &rc, DT_CENTER | DT_VCENTER | DT_WORDBREAK);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_CLOSE:
      AppendLog(g_dir, "closed");
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  g_dir = ModuleDirFromPath(GetModulePath());
  g_title = ReadTitle(g_dir);
  AppendLog(g_dir, "started");

  WNDCLASSA wc = {};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassA(&wc)) return 1;
  HWND hwnd = CreateWindowExA(0, kClassName, g_title.c_str(), WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, 480, 320, nullptr, nullptr,
                              instance, nullptr);
  if (!hwnd) return 1;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
