// WindowMap: which Win32Dialog owns which top-level window, and the class's
// static window procedure that forwards to it. The map is created on first
// use and destroyed by the entry point after the message loop.
#pragma once

#include <windows.h>

#include <map>

class Win32Dialog;

std::map<HWND, Win32Dialog*>& WindowMap();
void DestroyWindowMap();
LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
