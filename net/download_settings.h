// The download's tunable settings (time-outs, checkpoint interval, the
// optional file's deadline) and its replaceable platform calls, as the
// download's own files read them. download_hooks.h is how tests change them.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>

namespace download_settings {

HINTERNET OpenInternet(LPCSTR agent, DWORD access);
DWORD ConnectTimeoutMs();
DWORD ReceiveTimeoutMs();
uint64_t CheckpointBytes();
DWORD CheckpointMs();
DWORD OptionalDeadlineMs();
// Counts one stored checkpoint record and adds what storing it took.
void CountCheckpoint(uint64_t microseconds);
// Adds the time of a checkpoint's flush.
void AddCheckpointTime(uint64_t microseconds);

}  // namespace download_settings
