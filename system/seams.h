// Everything that blocks on a person or on time goes through these functions,
// so tests can answer dialogs and skip waits. Production code never calls
// MessageBoxA, SHBrowseForFolderA or Sleep directly.
#pragma once

#include <windows.h>

#include <string>

namespace seams {

using MessageBoxFn = int (*)(HWND owner, const char* text, const char* caption, UINT type);
// Shows a message box (or what a test put in its place) and returns its answer.
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type);
// Replaces the message box; returns the previous function. nullptr restores the real one.
MessageBoxFn SetMessageBoxForTesting(MessageBoxFn fn);

// Asks the user for a folder; returns false when cancelled. `title` is GBK.
using BrowseFolderFn = bool (*)(HWND owner, const char* title, std::string* chosen);
bool BrowseForFolder(HWND owner, const char* title, std::string* chosen);
BrowseFolderFn SetBrowseFolderForTesting(BrowseFolderFn fn);

// Pauses the calling thread. Progress pauses and retry back-off use it.
using SleepFn = void (*)(DWORD ms);
void SleepMs(DWORD ms);
SleepFn SetSleepForTesting(SleepFn fn);

}  // namespace seams
