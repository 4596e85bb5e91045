// What a download needs of its caller: the window it posts progress, speed and
// state to, the stop request it reads between blocking calls, the install
// folder that relative destinations land in, the error text it fills and the
// agency identifiers that name its cache file. The install controller
// (XGameSetup) is one; tools and tests may make their own.
#pragma once

#include <windows.h>

#include <atomic>

#include "core/agency_ids.h"

struct DownloadClient {
  HWND window = nullptr;
  char installFolder[260] = {};
  char errorText[261] = {};
  std::atomic<bool> stopRequest{false};  // one byte, written by the window, read by the worker
  AgencyIds agencyIds;

  void RequestStop() { stopRequest.store(true); }
  bool StopRequested() const { return stopRequest.load(); }
};
