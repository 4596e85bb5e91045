// A download process killed without warning (as by Task Manager or a crash)
// resumes from its last checkpoint, never from bytes its record does not
// vouch for. The killed process is this test program started again with
// the child test below selected.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "net/download_file.h"
#include "net/download_hooks.h"
#include "core/md5.h"
#include "net/resume_cache.h"
#include "net_test_support.h"
#include "scripted_server.h"
#include "system/scoped_handle.h"

namespace {

const char kUrlVar[] = "NET_TEST_CHILD_URL";
const char kTargetVar[] = "NET_TEST_CHILD_TARGET";

std::string Env(const char* name) {
  char buf[1024];
  DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

CacheRecord LoadRecord(const std::string& url) {
  CacheRecord r(CacheFilePath(UrlCacheKey(url), ""));
  LoadCacheRecord(&r, url);
  return r;
}

ScopedKernelHandle StartChild(const std::string& url, const std::string& target) {
  char exe[MAX_PATH];
  ::GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string command =
      std::string("\"") + exe + "\" --gtest_filter=DownloadChildProcess.Run";
  ::SetEnvironmentVariableA(kUrlVar, url.c_str());
  ::SetEnvironmentVariableA(kTargetVar, target.c_str());
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  BOOL ok = ::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi);
  ::SetEnvironmentVariableA(kUrlVar, nullptr);
  ::SetEnvironmentVariableA(kTargetVar, nullptr);
  if (!ok) return ScopedKernelHandle();
  ::CloseHandle(pi.hThread);
  return ScopedKernelHandle(pi.hProcess);
}

}  // namespace

// The downloading process; does nothing unless started by the test below.
TEST(DownloadChildProcess, Run) {
  const std::string url = Env(kUrlVar);
  if (url.empty()) GTEST_SKIP() << "only run as the child of KilledRunResumesFromItsLastCheckpoint";
  download_hooks::SetCheckpointForTesting(64 * 1024, 100);
  XGameSetup c;
  std::string path;
  const std::string target = Env(kTargetVar);
  DownloadFile(target.c_str(), &path, &c, url.c_str(), true, false, false, false);
}

TEST(DownloadCrash, KilledRunResumesFromItsLastCheckpoint) {
  ScopedTempRedirect temp;
  TempFolder dir;
  ScopedNoSleep no_sleep;
  ScriptedServer server;
  const std::string body = PatternBody(12 << 20, 50);
  server.ServeResource("/crash.bin", body);
  const std::string url = server.BaseUrl() + "/crash.bin";
  const std::string target = dir.File("crash.bin");
  std::mt19937 rng(std::random_device{}());
  std::uniform_int_distribution<DWORD> extra_ms(0, 300);

  int resumed = 0;
  std::string expected_range;  // what the next run must ask for
  for (int round = 0; round < 3; ++round) {
    Fault slow;
    slow.paceBytes = 16 * 1024;
    slow.paceMs = 15;
    server.QueueFault("/crash.bin", slow);
    const int before = LoadRecord(url).localSize;
    ScopedKernelHandle child = StartChild(url, target);
    ASSERT_TRUE(child) << ::GetLastError();
    // Kill it at a random point after it has stored a checkpoint of its own.
    const DWORD delay = extra_ms(rng);
    SCOPED_TRACE("round " + std::to_string(round) + ", killed " + std::to_string(delay) +
                 " ms after a checkpoint");
    DWORD start = ::GetTickCount();
    while (LoadRecord(url).localSize <= before && ::GetTickCount() - start < 30000)
      ::Sleep(10);
    ::Sleep(delay);
    ::TerminateProcess(child.get(), 9);
    ::WaitForSingleObject(child.get(), 10000);
    const auto requests = server.RequestsFor("/crash.bin");
    ASSERT_EQ(requests.size(), static_cast<size_t>(round + 1));
    EXPECT_EQ(requests.back().range, expected_range);

    // The next run resumes when the record vouches for the start of the file
    // (a kill in the middle of storing a record may leave one that does not).
    const CacheRecord r = LoadRecord(url);
    ASSERT_GT(r.localSize, before);
    ASSERT_LT(r.localSize, static_cast<int>(body.size()));
    const std::string on_disk = ReadFileBytes(target);
    ASSERT_GE(on_disk.size(), static_cast<size_t>(r.localSize));
    const bool sound = Md5OfBytes(on_disk.data(), r.localSize) == r.localMd5;
    expected_range = sound ? "bytes=" + std::to_string(r.localSize) + "-" : "";
    resumed += sound;
  }
  EXPECT_GE(resumed, 2);

  MessageRecorder rec;
  XGameSetup c;
  DownloadArgs args;
  args.destination = target.c_str();
  args.absolute = true;
  DownloadRun last = RunDownload(&rec, &c, url, args);
  EXPECT_EQ(last.result, 0);
  EXPECT_EQ(server.RequestsFor("/crash.bin").back().range, expected_range);
  EXPECT_TRUE(ReadFileBytes(target) == body);
}
