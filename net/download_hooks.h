// Test hooks of the file download: what opens the WinINet session (so a
// failing open can be simulated), the connection time-outs (so a dead
// connection can be shown ending in a test's time), the checkpoint interval
// and the file operations. download_settings is how the download's own files
// read them.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <cstdio>

namespace download_hooks {

using InternetOpenFn = HINTERNET(WINAPI*)(LPCSTR agent, DWORD access, LPCSTR proxy,
                                          LPCSTR bypass, DWORD flags);
// Replaces InternetOpenA for later downloads; returns the previous function.
// nullptr restores the real one.
InternetOpenFn SetInternetOpenForTesting(InternetOpenFn fn);

// Connect and receive time-outs of later download sessions; 0 restores the
// defaults (30 s to connect, 60 s without data).
void SetTimeoutsForTesting(DWORD connect_ms, DWORD receive_ms);

// How often a running transfer stores its record (bytes, ms); 0 restores the
// defaults (32 MiB, 2 s).
void SetCheckpointForTesting(uint64_t bytes, DWORD ms);

// How long the caller of DownloadOptionalFile waits for it at most; 0
// restores the default (75 s: the attempts' minute plus a margin).
void SetOptionalDeadlineForTesting(DWORD ms);

// Checkpoints stored since the last call, and the time they took.
struct CheckpointStats {
  uint32_t count = 0;
  uint64_t microseconds = 0;
};
CheckpointStats TakeCheckpointStats();

// The writes, flushes and closes of downloaded files (so a full disk can be
// simulated); null members use the C library.
struct FileOps {
  size_t (*write)(const void* data, size_t n, FILE* f) = nullptr;
  int (*flush)(FILE* f) = nullptr;
  int (*close)(FILE* f) = nullptr;
};
FileOps SetFileOpsForTesting(FileOps ops);  // returns the previous ones
size_t WriteFile(const void* data, size_t n, FILE* f);
int FlushFile(FILE* f);
int CloseFile(FILE* f);

}  // namespace download_hooks

namespace download_settings {

HINTERNET OpenInternet(LPCSTR agent, DWORD access);
DWORD ConnectTimeoutMs();
DWORD ReceiveTimeoutMs();
uint64_t CheckpointBytes();
DWORD CheckpointMs();
DWORD OptionalDeadlineMs();
// Counts one stored checkpoint record, which took the time since `started`
// (a QueryPerformanceCounter reading).
void CountCheckpoint(const LARGE_INTEGER& started);
// Adds the time of a checkpoint's flush, begun at `started`.
void AddCheckpointTime(const LARGE_INTEGER& started);

}  // namespace download_settings
