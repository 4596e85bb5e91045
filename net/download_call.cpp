#include "net/download_call.h"

#include <algorithm>

#include "core/verified_arrival.h"
#include "net/download_context.h"
#include "net/resume_cache.h"
#include "core/download_math.h"
#include "system/seams.h"
#include "system/setup_messages.h"

namespace download_internal {

namespace {

constexpr DWORD kStopPollMs = 100;
constexpr char kPlainHeaders[] = "Accept: */*\r\n\r\n";
// Blocks of a signed file that fail their digest are fetched again at most
// this often in one call: a line or mirror that keeps sending wrong bytes
// must not hold the installation for ever.
constexpr int kMaxRefetches = 3;

}  // namespace

Download::Download(DownloadContext* client, const char* url, const RetryPolicy& policy,
                   bool use_agency_cache_file)
    : client_(client),
      url_(url ? url : ""),
      policy_(policy),
      start_tick_(::GetTickCount()),
      agency_key_(use_agency_cache_file ? client->agencyIds.StandaloneAgencyID : ""),
      expected_(client->expectedFile),
      arrival_(client->expectedFile ? client->arrival : nullptr),
      rng_(::GetTickCount() ^ ::GetCurrentThreadId()) {}

// A reader of the arriving file that failed for good ends it as a stop would.
bool Download::Stopped() const {
  return client_->stopRequest.load() || (arrival_ && arrival_->GivenUp());
}
HWND Download::window() const { return client_->window; }

Outcome Download::Run(const char* destination, bool absolute, std::string* result_path) {
  for (;;) {
    Outcome o = Attempt(destination, absolute, result_path);
    // A copy found complete through its record was not read by this call.
    if (o == Outcome::kSuccess && expected_ && !verified_) o = VerifyCopy();
    if (o == Outcome::kRestart) continue;
    if (o != Outcome::kRetry) return o;
    if (!BackOff()) return Outcome::kFailure;
  }
}

// Waits before the next try; the stop request is looked at every 100 ms.
// False when the call gives up or the stop came meanwhile.
bool Download::BackOff() {
  ++failures_;
  ++attempts_;
  if (GivesUp(policy_, attempts_, ::GetTickCount() - start_tick_)) {
    error_ = pending_;  // given up: the last failure is the call's
    return false;
  }
  std::uniform_real_distribution<double> jitter(0.0, 1.0);
  DWORD left = RetryDelayMs(failures_, jitter(rng_), retry_after_ms_);
  retry_after_ms_ = -1;
  while (left > 0) {
    if (Stopped()) return false;
    DWORD slice = std::min(left, kStopPollMs);
    seams::SleepMs(slice);
    left -= slice;
  }
  return !Stopped();
}

Outcome Download::Settle(const DownloadFailure& failure) {
  switch (Classify(failure)) {
    case Verdict::kRestart:
      return Outcome::kRestart;
    case Verdict::kRetry:
      if (!policy_.retries) break;
      pending_ = DownloadFailureText(failure, url_);
      PostSpeed(client_->window, 0);
      return Outcome::kRetry;
    case Verdict::kFail:
      if (failure.step == DownloadStep::kStopped) return Outcome::kFailure;
      break;
  }
  error_ = DownloadFailureText(failure, url_);
  return Outcome::kFailure;
}

// A step whose failure is tried again in place (the session, the request):
// the attempt's earlier steps, such as checking the copy on disk, are not
// repeated for a line that is down.
DownloadResult Download::Retrying(StepFn step, AttemptState* a) {
  for (;;) {
    if (Stopped()) return DownloadFailure{DownloadStep::kStopped};
    DownloadResult r = (this->*step)(a);
    if (r.ok() || Classify(r.failure()) != Verdict::kRetry || !policy_.retries) return r;
    pending_ = DownloadFailureText(r.failure(), url_);
    if (!BackOff()) return DownloadFailure{DownloadStep::kStopped};  // the text, if any, is set
  }
}

// Picks the target and the resume record of this attempt.
DownloadResult Download::ChooseTarget(const char* destination, bool absolute, bool use_record,
                                      AttemptState* a) {
  a->have_state = false;
  if (destination != nullptr) {
    target_ = absolute ? std::string(destination)
                       : RelativeTarget(client_->installFolder, destination);
    if (use_record) a->have_state = OpenResumeState(url_, target_, agency_key_, &a->state);
    return {};
  }
  if (use_record) a->have_state = OpenResumeState(url_, std::string(), agency_key_, &a->state);
  // A record finds the temporary file of an earlier run; a later attempt of
  // this call keeps the file the first one made.
  if (a->have_state) target_ = a->state.record->localPath;
  if (!target_.empty()) return {};
  char folder[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathA(MAX_PATH, folder);
  char file[MAX_PATH + 1] = {};
  if (n == 0 || n > MAX_PATH || ::GetTempFileNameA(folder, "wpk", 0, file) == 0)
    return DownloadFailure{DownloadStep::kTempFile, ::GetLastError()};
  target_ = file;
  return {};
}

Outcome Download::Attempt(const char* destination, bool absolute, std::string* result_path) {
  if (expected_ && refetches_ > kMaxRefetches) return Reject();
  const bool use_record = !skip_record_once_;
  skip_record_once_ = false;
  // Checking the copy on disk or a new answer may cut or rewrite the file.
  if (arrival_) arrival_->Rewind();
  AttemptState a;
  DownloadResult r = ChooseTarget(destination, absolute, use_record, &a);
  if (!r.ok()) return Settle(r.failure());
  if (result_path) *result_path = target_;
  if (expected_) {
    CheckLocalCopy(&a);
    if (verified_) return Outcome::kSuccess;  // the copy on disk is the signed file
  }
  headers_ = a.have_state ? BuildRequestHeaders(a.state) : kPlainHeaders;
  a.asked_range = headers_.find("Range:") != std::string::npos;
  r = Retrying(&Download::OpenSession, &a);
  if (r.ok()) r = Retrying(&Download::OpenRequest, &a);
  if (r.ok()) r = CheckAnswer(&a);
  if (r.ok() && a.complete) return Outcome::kSuccess;
  if (r.ok()) r = OpenTargetFile(&a);
  if (!r.ok()) return Settle(r.failure());
  return TransferBody(this, &a);
}

}  // namespace download_internal
