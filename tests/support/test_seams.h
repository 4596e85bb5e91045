// Test replacements for what would block on a person or on time.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ShownMessage {
  HWND owner;
  std::string text;     // GBK
  std::string caption;  // GBK
  UINT type;
};

// While alive, message boxes are recorded and answered with `answer` (IDOK by
// default) instead of being shown. Thread-safe: the worker shows them too.
class ScopedMessageBoxRecorder {
 public:
  explicit ScopedMessageBoxRecorder(int answer = IDOK);
  ~ScopedMessageBoxRecorder();
  std::vector<ShownMessage> shown() const;

 private:
  void* previous_;
};

// While alive, seams::SleepMs returns at once and adds up what was asked.
class ScopedNoSleep {
 public:
  ScopedNoSleep();
  ~ScopedNoSleep();
  static std::vector<DWORD> Requested();  // every pause asked for, in order

 private:
  void* previous_;
};

// A fresh empty folder below the temporary folder, removed with its contents.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& path() const { return path_; }  // no trailing backslash
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Whole-file helpers for tests.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
