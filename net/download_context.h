// What a download needs of its caller: the window it posts progress, speed and
// state to, the stop request it reads between blocking calls, the install
// folder that relative destinations land in, the error text it fills and the
// agency identifiers that name its cache file. The install controller
// (XGameSetup) is one; tools and tests may make their own.
#pragma once

#include <windows.h>

#include <atomic>

#include "core/agency_ids.h"
#include "core/download_failure.h"

struct ManifestFile;
class VerifiedArrival;

struct DownloadContext {
  HWND window = nullptr;
  char installFolder[kPathBytes] = {};
  char errorText[kErrorTextBytes] = {};
  std::atomic<bool> stopRequest{false};  // one byte, written by the window, read by the worker
  AgencyIds agencyIds;
  // Set by the caller around one download of a file that the publisher's
  // signed manifest describes (null otherwise, and always for an installer
  // built without a publisher key): the body may not exceed its size, every
  // block must match its digest as it is written, and the finished file its
  // SHA-256. Borrowed; it outlives the download.
  const ManifestFile* expectedFile = nullptr;
  // Set with expectedFile when a reader follows the file as it arrives: moved
  // on as blocks pass their digests, rewound before the file may change.
  // Borrowed.
  VerifiedArrival* arrival = nullptr;

  void RequestStop() { stopRequest.store(true); }
  bool StopRequested() const { return stopRequest.load(); }
};
