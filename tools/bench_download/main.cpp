// Benchmark driver.
//   bench_download md5 <file>          digest of a file the way a cache record takes it
//   bench_download get <url> <file> [<warm-up url> [<signed copy>]]
//                                      download into <file>, then the same call again
//                                      (the check of a complete copy); a small warm-up
//                                      download first pays WinINet's start-up. With a
//                                      signed copy (the served file), both calls are held
//                                      to its manifest record: size, SHA-256, 4 MiB blocks
//   bench_download bare <url> <file> [<warm-up url>]
//                                      the ceiling: a bare InternetReadFile loop into a
//                                      file, no digest, no record, no reports
// Prints "key value" lines: timings in seconds, memory in bytes.
#include <windows.h>

#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/block_digests.h"
#include "core/signed_manifest.h"

#include "net/download_context.h"
#include "net/download_file.h"
#include "net/download_hooks.h"
#include "net/download_verify.h"
#include "net/resume_cache.h"

namespace {

double Now() {
  LARGE_INTEGER f, t;
  ::QueryPerformanceFrequency(&f);
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// CPU seconds the whole machine has spent busy so far (every process and
// the kernel's share of the loopback transfer): on a machine of few cores the
// server, the transfer and the digest compete for the same cores.
double MachineBusy() {
  FILETIME idle, kernel, user;
  if (!::GetSystemTimes(&idle, &kernel, &user)) return 0;
  auto ticks = [](const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user) - ticks(idle)) / 1e7;  // kernel holds idle
}

PROCESS_MEMORY_COUNTERS Memory() {
  PROCESS_MEMORY_COUNTERS m = {};
  m.cb = sizeof m;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &m, sizeof m);
  return m;
}

int Digest(const char* path) {
  CacheRecord record("unused");
  record.localPath = path;
  const double t0 = Now();
  UpdateFileDigest(&record);
  const double t1 = Now();
  std::printf("md5 %s\nsize %d\nseconds %.3f\npeak_working_set_bytes %lu\n", record.localMd5.c_str(),
              record.localSize, t1 - t0, static_cast<unsigned long>(Memory().PeakWorkingSetSize));
  return record.localMd5.empty() ? 1 : 0;
}

// The manifest record a publisher would sign for the file at `path`.
std::optional<ManifestFile> RecordOf(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return std::nullopt;
  ManifestFile record = RecordOfBytes("pkg.bin", kDefaultVerifyBlockSize,
                                      [f](unsigned char* buffer, size_t n) {
                                        return std::fread(buffer, 1, n, f);
                                      });
  std::fclose(f);
  return record;
}

int Get(const char* url, const char* target, const char* warm_url, const char* signed_copy) {
  DownloadContext controller;  // no window: the reports go to this thread's queue
  std::string path;
  std::optional<ManifestFile> record;
  if (signed_copy != nullptr && !(record = RecordOf(signed_copy))) {
    std::fprintf(stderr, "cannot read %s\n", signed_copy);
    return 1;
  }
  if (warm_url != nullptr) {
    const std::string warm_target = std::string(target) + ".warm";
    DownloadFile(warm_target.c_str(), &path, &controller, warm_url, true, false, false, false);
    ::DeleteFileA(warm_target.c_str());
  }
  controller.expectedFile = record ? &*record : nullptr;
  const PROCESS_MEMORY_COUNTERS idle = Memory();
  download_hooks::TakeCheckpointStats();
  const double b0 = MachineBusy();
  const double t0 = Now();
  const int first = DownloadFile(target, &path, &controller, url, true, false, false, false);
  const double t1 = Now();
  const double b1 = MachineBusy();
  const download_hooks::CheckpointStats cp = download_hooks::TakeCheckpointStats();
  const int second = DownloadFile(target, &path, &controller, url, true, false, false, false);
  const double t2 = Now();
  const PROCESS_MEMORY_COUNTERS after = Memory();
  MSG m;
  while (::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
  }
  std::printf("result %d %d\nerror %s\nseconds %.3f\ncheck_seconds %.3f\n", first, second,
              controller.errorText, t1 - t0, t2 - t1);
  std::printf("checkpoints %u\ncheckpoint_seconds %.3f\nbusy_seconds %.3f\n", cp.count,
              cp.microseconds / 1e6, b1 - b0);
  std::printf("idle_working_set_bytes %lu\npeak_working_set_bytes %lu\n",
              static_cast<unsigned long>(idle.WorkingSetSize),
              static_cast<unsigned long>(after.PeakWorkingSetSize));
  return first == 0 && second == 0 ? 0 : 1;
}

// The same WinINet request as a download (fresh session, reload and no-cache
// flags), read in 1 MiB pieces as ours are, straight into the file. The file
// is opened as ours is, without a truncation that would make ext4 write it
// all out at the close.
int Bare(const char* url, const char* target, const char* warm_url) {
  auto fetch = [](const char* u, const char* file) -> bool {
    HINTERNET session = ::InternetOpenA("bare", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET request = ::InternetOpenUrlA(session, u, "Accept: */*\r\n\r\n", DWORD(-1),
                                           0x84000100, 0);
    HANDLE f = ::CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = request != nullptr && f != INVALID_HANDLE_VALUE;
    static char buffer[1 << 20];
    DWORD n = 0;
    while (ok && ::InternetReadFile(request, buffer, sizeof buffer, &n) && n > 0) {
      DWORD wrote = 0;
      ok = ::WriteFile(f, buffer, n, &wrote, nullptr) && wrote == n;
    }
    if (f != INVALID_HANDLE_VALUE) ok = ::CloseHandle(f) && ok;
    if (request) ::InternetCloseHandle(request);
    if (session) ::InternetCloseHandle(session);
    return ok;
  };
  if (warm_url != nullptr) {
    const std::string warm_target = std::string(target) + ".warm";
    fetch(warm_url, warm_target.c_str());
    ::DeleteFileA(warm_target.c_str());
  }
  const double b0 = MachineBusy();
  const double t0 = Now();
  const bool ok = fetch(url, target);
  const double t1 = Now();
  std::printf("result %d\nseconds %.3f\nbusy_seconds %.3f\n", ok ? 0 : 1, t1 - t0, MachineBusy() - b0);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "md5") == 0) return Digest(argv[2]);
  if (argc >= 4 && argc <= 6 && std::strcmp(argv[1], "get") == 0)
    return Get(argv[2], argv[3], argc >= 5 ? argv[4] : nullptr, argc == 6 ? argv[5] : nullptr);
  if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "bare") == 0)
    return Bare(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
  std::fprintf(stderr,
               "usage: bench_download md5 <file> | get <url> <file> [<warm-up url> [<signed copy>]]"
               " | bare <url> <file> [<warm-up url>]\n");
  return 2;
}
