#include "net/download_hooks.h"

#include <atomic>
#include <cstdio>

namespace {

constexpr DWORD kDefaultConnectTimeoutMs = 30000;
constexpr DWORD kDefaultReceiveTimeoutMs = 60000;
// A record for what is on disk is stored at least this often while a transfer
// runs, so a run that ends without warning loses at most this much. Each one
// flushes the file and writes the record's keys (a few ms); the digest of the
// flushed bytes is taken by the hashing thread, never waited for.
constexpr uint64_t kDefaultCheckpointBytes = 32u << 20;
constexpr DWORD kDefaultCheckpointMs = 2000;
// The optional file's attempts end within their minute when the platform
// honours the receive time-out; this bounds the wait where it does not (Wine).
constexpr DWORD kDefaultOptionalDeadlineMs = 60000 + 15000;

std::atomic<download_hooks::InternetOpenFn> g_internet_open{&::InternetOpenA};
std::atomic<DWORD> g_connect_timeout_ms{kDefaultConnectTimeoutMs};
std::atomic<DWORD> g_optional_deadline_ms{kDefaultOptionalDeadlineMs};
std::atomic<DWORD> g_receive_timeout_ms{kDefaultReceiveTimeoutMs};
std::atomic<uint64_t> g_checkpoint_bytes{kDefaultCheckpointBytes};
std::atomic<DWORD> g_checkpoint_ms{kDefaultCheckpointMs};
std::atomic<uint32_t> g_checkpoint_count{0};
std::atomic<uint64_t> g_checkpoint_us{0};
std::atomic<decltype(download_hooks::FileOps::write)> g_write{nullptr};
std::atomic<decltype(download_hooks::FileOps::flush)> g_flush{nullptr};
std::atomic<decltype(download_hooks::FileOps::close)> g_close{nullptr};

uint64_t MicrosecondsSince(const LARGE_INTEGER& t0) {
  LARGE_INTEGER t1, freq;
  ::QueryPerformanceCounter(&t1);
  ::QueryPerformanceFrequency(&freq);
  return static_cast<uint64_t>((t1.QuadPart - t0.QuadPart) * 1000000 / freq.QuadPart);
}

}  // namespace

namespace download_settings {

HINTERNET OpenInternet(LPCSTR agent, DWORD access) {
  return g_internet_open.load()(agent, access, nullptr, nullptr, 0);
}
DWORD ConnectTimeoutMs() { return g_connect_timeout_ms.load(); }
DWORD ReceiveTimeoutMs() { return g_receive_timeout_ms.load(); }
uint64_t CheckpointBytes() { return g_checkpoint_bytes.load(); }
DWORD CheckpointMs() { return g_checkpoint_ms.load(); }
DWORD OptionalDeadlineMs() { return g_optional_deadline_ms.load(); }
void CountCheckpoint(const LARGE_INTEGER& started) {
  ++g_checkpoint_count;
  g_checkpoint_us += MicrosecondsSince(started);
}
void AddCheckpointTime(const LARGE_INTEGER& started) {
  g_checkpoint_us += MicrosecondsSince(started);
}

}  // namespace download_settings

namespace download_hooks {

InternetOpenFn SetInternetOpenForTesting(InternetOpenFn fn) {
  return g_internet_open.exchange(fn ? fn : &::InternetOpenA);
}

void SetTimeoutsForTesting(DWORD connect_ms, DWORD receive_ms) {
  g_connect_timeout_ms = connect_ms ? connect_ms : kDefaultConnectTimeoutMs;
  g_receive_timeout_ms = receive_ms ? receive_ms : kDefaultReceiveTimeoutMs;
}

void SetOptionalDeadlineForTesting(DWORD ms) {
  g_optional_deadline_ms = ms ? ms : kDefaultOptionalDeadlineMs;
}

void SetCheckpointForTesting(uint64_t bytes, DWORD ms) {
  g_checkpoint_bytes = bytes ? bytes : kDefaultCheckpointBytes;
  g_checkpoint_ms = ms ? ms : kDefaultCheckpointMs;
}

CheckpointStats TakeCheckpointStats() {
  return CheckpointStats{g_checkpoint_count.exchange(0), g_checkpoint_us.exchange(0)};
}

FileOps SetFileOpsForTesting(FileOps ops) {
  FileOps previous;
  previous.write = g_write.exchange(ops.write);
  previous.flush = g_flush.exchange(ops.flush);
  previous.close = g_close.exchange(ops.close);
  return previous;
}

size_t WriteFile(const void* data, size_t n, FILE* f) {
  auto fn = g_write.load();
  return fn ? fn(data, n, f) : std::fwrite(data, 1, n, f);
}
int FlushFile(FILE* f) {
  auto fn = g_flush.load();
  return fn ? fn(f) : std::fflush(f);
}
int CloseFile(FILE* f) {
  auto fn = g_close.load();
  return fn ? fn(f) : std::fclose(f);
}

}  // namespace download_hooks
