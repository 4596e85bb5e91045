#include "net/download_file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "core/download_failure.h"
#include "core/gbk_text.h"
#include "core/retry_policy.h"
#include "core/signed_manifest.h"
#include "net/download_call.h"
#include "net/download_context.h"
#include "net/download_hooks.h"
#include "system/run_with_deadline.h"
#include "system/seams.h"
#include "system/setup_messages.h"

namespace {

using download_internal::Download;
using download_internal::Outcome;

constexpr char kErrorCaption[] = "错误";
constexpr DWORD kOptionalPollMs = 50;
constexpr DWORD kOptionalStopGraceMs = 1000;

// The fixed entry's result and reports over one call under `policy`: 0, or 1
// (reported: message box and state 0) / -1 (not reported) on failure.
int RunDownloadCall(const char* destination, std::string* result_path, DownloadContext* client,
                    const char* url, bool destination_is_absolute, bool report_errors,
                    const RetryPolicy& policy, bool use_agency_cache_file) {
  std::memset(client->errorText, 0, sizeof client->errorText);
  PostProgress(client->window, 0);

  Download download(client, url, policy, use_agency_cache_file);
  const Outcome outcome = download.Run(destination, destination_is_absolute, result_path);

  if (outcome == Outcome::kSuccess) {
    PostProgress(client->window, 100);
  } else {
    gbk::CopyToBuffer(client->errorText, sizeof client->errorText, download.error());
    if (report_errors) ReportDownloadFailure(client);
  }
  PostSpeed(client->window, 0);
  if (outcome == Outcome::kSuccess) return 0;
  return report_errors ? 1 : -1;
}

// One optional download on a thread of its own. Under Wine a stalled
// connection blocks InternetReadFile past every time-out and past closed
// handles, so the caller may have to leave the thread behind. The thread
// therefore works on its own copy of the client, without the window: nothing
// it does after being left behind can reach the caller or the window. Its file
// and record stay in their usual places, and a stopped transfer resumes later.
struct OptionalCall {
  OptionalCall(const DownloadContext& caller, const char* destination, const char* url)
      : destination(destination), url(url) {
    std::memcpy(client.installFolder, caller.installFolder, sizeof client.installFolder);
    client.agencyIds = caller.agencyIds;
    if (caller.expectedFile) {
      expected = *caller.expectedFile;
      client.expectedFile = &*expected;
    }
  }

  DownloadContext client;
  std::optional<ManifestFile> expected;  // the caller's record may be gone when this ends
  std::string destination;
  std::string url;
  std::string result_path;
  int result = -1;
};

}  // namespace

void ReportDownloadFailure(DownloadContext* controller) {
  if (controller->errorText[0] != '\0')
    seams::ShowMessageBox(controller->window, controller->errorText, kErrorCaption, MB_OK);
  PostState(controller->window, SETUP_STATE_ERROR);
}

int DownloadFile(const char* destination, std::string* result_path, DownloadContext* controller,
                 const char* url, bool destination_is_absolute, bool report_errors,
                 bool retry_until_done, bool use_agency_cache_file) {
  return RunDownloadCall(destination, result_path, controller, url, destination_is_absolute,
                         report_errors, retry_until_done ? kUntilStopped : kTryOnce,
                         use_agency_cache_file);
}

int DownloadOptionalFile(const char* destination, std::string* result_path,
                         DownloadContext* controller, const char* url, bool destination_is_absolute,
                         bool use_agency_cache_file) {
  auto call = std::make_shared<OptionalCall>(*controller, destination, url);
  std::memset(controller->errorText, 0, sizeof controller->errorText);
  auto work = [call, destination_is_absolute, use_agency_cache_file] {
    call->result = RunDownloadCall(call->destination.c_str(), &call->result_path, &call->client,
                                   call->url.c_str(), destination_is_absolute, false,
                                   kOptionalFile, use_agency_cache_file);
  };
  DWORD deadline = download_settings::OptionalDeadlineMs();
  auto keep_waiting = [&](DWORD elapsed) {
    if (controller->StopRequested() && !call->client.StopRequested()) {
      // A stop is not held up by a blocked read either: a short grace, then go.
      call->client.RequestStop();
      deadline = std::min(deadline, elapsed + kOptionalStopGraceMs);
    }
    return elapsed < deadline;
  };
  switch (RunWithDeadline(work, kOptionalPollMs, keep_waiting)) {
    case DeadlineWait::kNoThread:
      return RunDownloadCall(destination, result_path, controller, url, destination_is_absolute,
                             false, kOptionalFile, use_agency_cache_file);
    case DeadlineWait::kLeft:
      // Left behind: it stops at its next chance and touches nothing of ours.
      call->client.RequestStop();
      gbk::CopyToBuffer(controller->errorText, sizeof controller->errorText,
                        DownloadFailureText(DownloadFailure{DownloadStep::kTimedOut}, url));
      PostSpeed(controller->window, 0);
      return -1;
    case DeadlineWait::kFinished:
      break;
  }
  std::memcpy(controller->errorText, call->client.errorText, sizeof controller->errorText);
  if (result_path) *result_path = call->result_path;
  PostSpeed(controller->window, 0);
  return call->result;
}
