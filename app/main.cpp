// Entry point of online_setup.exe: one instance only, the main window, the
// message loop. Every way out ends with exit code 0.
#include <windows.h>

#include <string>

#include "core/gbk_text.h"
#include "system/seams.h"
#include "ui/win32_dialog.h"
#include "ui/window_map.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Kept open for the life of the process; the system closes it at exit.
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, "MutexOnlineDownLoad");
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    if (mutex) ::CloseHandle(mutex);
    seams::ShowMessageBox(nullptr, "应用程序已经在运行！", "提示", MB_ICONERROR);
    return 0;
  }

  int exit_code = 0;
  {
    Win32Dialog dialog(instance);
    // The caption starts without a product name; the agency text sets it later.
    const std::string caption = gbk::Format("%s在线安装", "");
    const RECT rect = {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT + 455, CW_USEDEFAULT + 325};
    dialog.Create(caption.c_str(), caption.c_str(), WS_POPUP, rect, nullptr);
    if (!dialog.hwnd()) {
      // No window at all: nothing could ever post the quit message.
      DestroyWindowMap();
      return 0;
    }

    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (msg.message == WM_QUIT) exit_code = static_cast<int>(msg.wParam);
    DestroyWindowMap();
  }
  return exit_code;
}
