// One DownloadFile call: its arguments, what outlives single attempts (the
// target, the back-off, the refetches of a signed file), and the attempt's
// steps. Private to the download's files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <random>
#include <string>

#include "core/download_failure.h"
#include "core/retry_policy.h"
#include "net/resume_cache.h"
#include "net/scoped_internet.h"
#include "system/scoped_handle.h"

struct DownloadContext;
struct ManifestFile;
class DigestPipeline;
class VerifiedArrival;

namespace download_internal {

enum class Outcome { kSuccess, kFailure, kRetry, kRestart };

// What one attempt holds once its request is open (closed in reverse order:
// the file, then the request, then the session).
struct AttemptState {
  ResumeState state;
  bool have_state = false;
  bool asked_range = false;
  bool appending = false;
  bool complete = false;  // the copy on disk is whole and current: nothing to transfer
  ScopedInternetHandle session;
  ScopedInternetHandle request;
  DWORD status = 0;
  DWORD length = 0;     // the answer's length, 0 when it gave none
  AnswerValidators validators;
  uint32_t offset = 0;  // bytes already in the file before this answer
  ScopedStdioFile file;
};

class Download {
 public:
  Download(DownloadContext* client, const char* url, const RetryPolicy& policy,
           bool use_agency_cache_file);

  Outcome Run(const char* destination, bool absolute, std::string* result_path);
  const std::string& error() const { return error_; }

  // For the body transfer.
  bool Stopped() const;
  HWND window() const;
  const ManifestFile* expected() const { return expected_; }
  VerifiedArrival* arrival() const { return arrival_; }
  const std::string& target() const { return target_; }
  // What the failure means for this call: the verdict, under this call's
  // policy, with the text kept for the user when it ends the call.
  Outcome Settle(const DownloadFailure& failure);
  // The failure of a network call, with the server's own text when it gave one.
  static DownloadFailure NetworkFailure(DownloadStep step, DWORD error);
  bool StoreResume(AttemptState* a, DigestPipeline* digest, bool digest_usable,
                   uint64_t expected_size);
  void StoreCheckpoint(AttemptState* a, DigestPipeline* digest);
  Outcome Mismatch(bool had_prefix);
  void MarkVerified() { verified_ = true; }
  void ConnectionWorks() { failures_ = 0; }  // back-off starts over

 private:
  using StepFn = DownloadResult (Download::*)(AttemptState*);

  Outcome Attempt(const char* destination, bool absolute, std::string* result_path);
  bool BackOff();
  DownloadResult Retrying(StepFn step, AttemptState* a);
  DownloadResult ChooseTarget(const char* destination, bool absolute, bool use_record,
                              AttemptState* a);
  void CheckLocalCopy(AttemptState* a);
  DownloadResult OpenSession(AttemptState* a);
  DownloadResult OpenRequest(AttemptState* a);
  DownloadResult CheckAnswer(AttemptState* a);
  DownloadResult OpenTargetFile(AttemptState* a);
  void DeleteLocalCopy();
  Outcome Reject();
  Outcome VerifyCopy();

  DownloadContext* client_;
  const std::string url_;
  const RetryPolicy policy_;
  const DWORD start_tick_;
  const std::string agency_key_;
  const ManifestFile* const expected_;  // the signed record the file is held to, or null
  VerifiedArrival* const arrival_;      // follows the verified bytes, or null
  std::minstd_rand rng_;
  std::string target_;
  std::string headers_;
  std::string error_;
  std::string pending_;  // the last retried failure's text, the call's if it gives up
  int failures_ = 0;
  int attempts_ = 0;
  bool skip_record_once_ = false;
  int64_t retry_after_ms_ = -1;  // what the last retried answer asked to wait, -1: nothing
  int refetches_ = 0;            // blocks of a signed file fetched again
  bool restarted_whole_ = false; // a signed file failed once and was fetched again from 0
  bool checked_on_disk_ = false; // the target was compared with the signed file
  bool verified_ = false;        // the file on disk is the signed one
};

// Moves an answer's body into the download's target file (body_transfer.cpp).
// Reads take what has arrived and gather in one buffer; a full buffer, or one
// that has waited a moment (a slow line), is written, handed to the digest and
// reported as one chunk, while the next read already runs: the line and the
// disk work side by side.
Outcome TransferBody(Download* download, AttemptState* attempt);

}  // namespace download_internal
