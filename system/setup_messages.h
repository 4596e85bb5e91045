// The install states and the three window messages by which the worker side
// (worker thread, download, extraction) reports to the main window. All are
// posted with wParam 0; the numbers are absolute, not offsets from WM_USER.
#pragma once

#include <windows.h>

constexpr UINT WM_SETUP_PROGRESS = 20000;  // lParam: percent 0..100
constexpr UINT WM_SETUP_STATE = 20001;     // lParam: SetupState
constexpr UINT WM_SETUP_SPEED = 20003;     // lParam: bytes per second, signed 32-bit

enum SetupState : int {
  SETUP_STATE_ERROR = 0,
  SETUP_STATE_IDLE = 1,
  SETUP_STATE_READING_CONFIG = 2,
  SETUP_STATE_GETTING_VERSION = 3,
  SETUP_STATE_DOWNLOADING = 4,
  SETUP_STATE_STARTING = 5,
  SETUP_STATE_INSTALLING = 6,
  SETUP_STATE_DONE = 7,
};

// Status line shown for a state; empty for values outside 0..7.
const char* SetupStateText(int state);

inline void PostProgress(HWND window, int percent) {
  ::PostMessageA(window, WM_SETUP_PROGRESS, 0, static_cast<LPARAM>(percent));
}
inline void PostState(HWND window, int state) {
  ::PostMessageA(window, WM_SETUP_STATE, 0, static_cast<LPARAM>(state));
}
inline void PostSpeed(HWND window, long bytes_per_second) {
  ::PostMessageA(window, WM_SETUP_SPEED, 0, static_cast<LPARAM>(bytes_per_second));
}
