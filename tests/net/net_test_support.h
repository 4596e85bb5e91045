// Helpers shared by the download tests: a private temporary folder (so cache
// files never mix with another run's), and running a download on a worker
// thread while this thread records what it posts.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/xgamesetup.h"
#include "message_recorder.h"
#include "net/download_file.h"
#include "test_seams.h"

// While alive, TMP and TEMP point at a fresh folder (with a trailing backslash).
class ScopedTempRedirect {
 public:
  ScopedTempRedirect() : ScopedTempRedirect(std::string()) {}
  // A non-empty `forced` is used as is (it need not exist).
  explicit ScopedTempRedirect(const std::string& forced) {
    Save("TMP", &oldTmp_, &hadTmp_);
    Save("TEMP", &oldTemp_, &hadTemp_);
    path_ = forced.empty() ? folder_.path() + "\\" : forced;
    ::SetEnvironmentVariableA("TMP", path_.c_str());
    ::SetEnvironmentVariableA("TEMP", path_.c_str());
  }
  ~ScopedTempRedirect() {
    ::SetEnvironmentVariableA("TMP", hadTmp_ ? oldTmp_.c_str() : nullptr);
    ::SetEnvironmentVariableA("TEMP", hadTemp_ ? oldTemp_.c_str() : nullptr);
  }
  const std::string& path() const { return path_; }  // with trailing backslash

 private:
  static void Save(const char* name, std::string* value, bool* had) {
    char buf[1024];
    DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
    *had = n > 0 && n < sizeof buf;
    if (*had) value->assign(buf, n);
  }
  TempFolder folder_;
  std::string path_, oldTmp_, oldTemp_;
  bool hadTmp_ = false, hadTemp_ = false;
};

struct DownloadRun {
  int result = 0;
  std::string path;
};

struct DownloadArgs {
  const char* destination = nullptr;
  bool absolute = false;
  bool report = true;
  bool retry = false;
  bool agency = false;
};

// Runs DownloadFile on a worker thread and pumps `recorder` until it returns.
inline DownloadRun RunDownload(MessageRecorder* recorder, XGameSetup* controller,
                               const std::string& url, const DownloadArgs& args) {
  controller->window = recorder->hwnd();
  DownloadRun run;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    run.result = DownloadFile(args.destination, &run.path, controller, url.c_str(), args.absolute,
                              args.report, args.retry, args.agency);
    done = true;
  });
  recorder->PumpUntil([&] { return done.load(); }, 90000);
  worker.join();
  recorder->Pump();
  return run;
}

// A body whose bytes differ from position to position.
inline std::string PatternBody(size_t size, unsigned seed = 1) {
  std::string s(size, '\0');
  unsigned x = seed * 2654435761u + 12345;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 16);
  }
  return s;
}
