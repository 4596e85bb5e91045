#include "system/seams.h"

#include <shlobj.h>

#include <atomic>

namespace seams {
namespace {

int RealMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  return ::MessageBoxA(owner, text, caption, type);
}

bool RealBrowseForFolder(HWND owner, const char* title, std::string* chosen) {
  BROWSEINFOA info = {};
  info.hwndOwner = owner;
  info.lpszTitle = title;
  PIDLIST_ABSOLUTE list = ::SHBrowseForFolderA(&info);
  if (!list) return false;
  char path[MAX_PATH] = {};
  BOOL ok = ::SHGetPathFromIDListA(list, path);
  ::CoTaskMemFree(list);
  if (!ok || path[0] == '\0') return false;
  *chosen = path;
  return true;
}

void RealSleep(DWORD ms) { ::Sleep(ms); }

std::atomic<MessageBoxFn> g_message_box{&RealMessageBox};
std::atomic<BrowseFolderFn> g_browse{&RealBrowseForFolder};
std::atomic<SleepFn> g_sleep{&RealSleep};

}  // namespace

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  return g_message_box.load()(owner, text, caption, type);
}

MessageBoxFn SetMessageBoxForTesting(MessageBoxFn fn) {
  return g_message_box.exchange(fn ? fn : &RealMessageBox);
}

bool BrowseForFolder(HWND owner, const char* title, std::string* chosen) {
  return g_browse.load()(owner, title, chosen);
}

BrowseFolderFn SetBrowseFolderForTesting(BrowseFolderFn fn) {
  return g_browse.exchange(fn ? fn : &RealBrowseForFolder);
}

void SleepMs(DWORD ms) { g_sleep.load()(ms); }

SleepFn SetSleepForTesting(SleepFn fn) { return g_sleep.exchange(fn ? fn : &RealSleep); }

}  // namespace seams
