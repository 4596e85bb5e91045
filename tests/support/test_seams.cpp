#include "test_seams.h"

#include <cstdio>
#include <mutex>

#include "system/seams.h"

namespace {
std::mutex g_mu;
std::vector<ShownMessage> g_shown;
int g_answer = IDOK;
std::vector<DWORD> g_sleeps;

int RecordMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_shown.push_back({owner, text ? text : "", caption ? caption : "", type});
  return g_answer;
}

void RecordSleep(DWORD ms) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_sleeps.push_back(ms);
}

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string p = dir + "\\" + name;
      if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveTree(p);
      } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryA(p.c_str());
      } else {
        SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(p.c_str());
      }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}
}  // namespace

ScopedMessageBoxRecorder::ScopedMessageBoxRecorder(int answer) {
  {
    std::lock_guard<std::mutex> lock(g_mu);
    g_shown.clear();
    g_answer = answer;
  }
  previous_ = reinterpret_cast<void*>(seams::SetMessageBoxForTesting(&RecordMessageBox));
}

ScopedMessageBoxRecorder::~ScopedMessageBoxRecorder() {
  seams::SetMessageBoxForTesting(reinterpret_cast<seams::MessageBoxFn>(previous_));
}

std::vector<ShownMessage> ScopedMessageBoxRecorder::shown() const {
  std::lock_guard<std::mutex> lock(g_mu);
  return g_shown;
}

ScopedNoSleep::ScopedNoSleep() {
  {
    std::lock_guard<std::mutex> lock(g_mu);
    g_sleeps.clear();
  }
  previous_ = reinterpret_cast<void*>(seams::SetSleepForTesting(&RecordSleep));
}

ScopedNoSleep::~ScopedNoSleep() {
  seams::SetSleepForTesting(reinterpret_cast<seams::SleepFn>(previous_));
}

std::vector<DWORD> ScopedNoSleep::Requested() {
  std::lock_guard<std::mutex> lock(g_mu);
  return g_sleeps;
}

TempFolder::TempFolder() {
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  static LONG counter = 0;
  LONG n = InterlockedIncrement(&counter);
  char name[MAX_PATH];
  snprintf(name, sizeof name, "%sost_%lu_%lu_%ld", tmp, GetCurrentProcessId(), GetTickCount(), n);
  path_ = name;
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::string ReadFileBytes(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
